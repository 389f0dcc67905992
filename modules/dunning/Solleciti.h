#pragma once

#include "Lettere.h"
#include "Posta.h"
#include "SollecitiLogic.h"

#include "scadenzio/Dataset.h"
#include "scadenzio/Esecuzioni.h"
#include "scadenzio/Widgets.h"

#include <QHash>
#include <QPointer>

#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabWidget;
class TErroriForm;

// The credits whose next letter is due today, per client and per document, and the
// runs that write, archive and record those letters.
class TFrameSolleciti : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameSolleciti(QWidget* parent = nullptr);
    ~TFrameSolleciti() override;

    void LoadData(const QString& tab);
    void LoadComboClienti();
    void GestionePagina();

    void sPageControl1Change();
    void CheckClientiClick();
    void ComboClientiChange();

    void FiltroClick(sz::dunning::FiltroFase filtro);
    void EditFiltroChange();
    void EditFiltroScadenzaChange();
    void GestisciFiltro();
    void Selezionatutto1Click();

    void BottoneStampaPerFatturaClick();
    void BottoneInviaPerFatturaClick();
    void BottoneStampaPerClienteClick();
    void BottoneInviaPerClienteClick();
    void BottoneArchivioClick();

    void GestisciAzionePerFattura(bool invia);
    void GestisciAzionePerCliente(bool invia);

    // The day the lists on show were made for: each list and each run takes the day of
    // its own moment from the program's clock.
    QDate oggi() const { return m_oggi; }
    // Lists the credits of the new day when the day changed since the list on show was
    // read (a timer asks every minute); nothing during a run.
    void controllaGiorno();
    // True while a run of letters is under way.
    bool inCorso() const { return m_corsa != nullptr; }
    // How often the wait for a run of another workstation or program looks again (ms).
    void setIntervalloAttesa(int ms) { m_intervalloAttesa = ms; }

    sz::db::Dataset* queryCrediti() const { return ADOQueryCrediti; }
    sz::db::Dataset* queryCreditiPerCliente() const { return ADOQueryCreditiPerCliente; }
    // The tooltip of a list cell: over an interest column of a credit whose rate is
    // missing, the message naming the rate and where to enter it; otherwise empty.
    static QString suggerimento(const sz::ui::Grid* grid, const QModelIndex& cella);

private:
    QWidget* costruisciPerCliente();
    QWidget* costruisciPerDocumento();
    QWidget* barraPulsanti(QWidget* parent, sz::ui::Grid* griglia, QPushButton*& archivio, QPushButton*& stampa,
                           QPushButton*& invia, const QString& suffisso);
    sz::ui::Grid* griglia(QWidget* parent, const QString& nome, sz::db::Dataset* lista);
    QList<sz::dunning::Selezionato> selezione(sz::ui::Grid* grid) const;
    sz::dunning::EsitoRun esegui(const std::function<sz::dunning::EsitoRun(sz::dunning::Lettere&,
                                                                         const sz::dunning::Avanzamento&)>& run,
                                 int totale, bool invia, sz::esecuzioni::Blocco& blocco, bool perCliente);
    // Takes the lock of letter runs; when another run holds it, says whose it is and offers
    // to wait for it. False when the clerk chose not to wait (or gave up waiting).
    bool prendiBlocco(sz::esecuzioni::Blocco& blocco);
    // The stage dates of the selected credits as the list on show has them.
    QHash<qint64, QString> fasiMostrate(sz::ui::Grid* grid) const;
    // Of those credits, the ones whose stage dates are no longer those shown: another run
    // made their letter meanwhile (the one this run waited for, say).
    QList<qint64> cambiatiNelFrattempo(const QHash<qint64, QString>& mostrate);
    // Leaves out of ids the credits another run got to first, saying so with the lock
    // freed; false when none is left or the clerk gave up waiting for the lock again.
    bool togliCambiati(QList<qint64>& ids, const QHash<qint64, QString>& mostrate, sz::esecuzioni::Blocco& blocco);
    void fineRun(const sz::dunning::EsitoRun& esito, bool invia, const QString& tab);
    void mostraErrori();
    void ricaricaLista(const QString& tab);
    // The count of due credits held back by suspensions, beside the lists.
    void aggiornaSospesi();
    // The line that names a missing rate, after a read of a list.
    void aggiornaInteressi();
    // Asks, per template of the run that would print nothing, whether to make those
    // letters anyway; returns the credits to leave out.
    QList<qint64> senzaParole(const QList<qint64>& ids, bool perCliente);

    QDate m_oggi;
    int m_intervalloAttesa = 3000;
    struct Corsa;
    std::shared_ptr<Corsa> m_corsa; // the run under way, if any
    // The mail settings as they were when the module was opened.
    std::optional<sz::mail::Server> m_server;
    QString m_serverNonValido;
    sz::db::Dataset* ADOQueryCrediti = nullptr;
    sz::db::Dataset* ADOQueryCreditiPerCliente = nullptr;

    QTabWidget* sPageControl1 = nullptr;
    QWidget* TabCliente = nullptr;
    QWidget* TabFattura = nullptr;
    sz::ui::Grid* sDBGrid1 = nullptr;
    sz::ui::Grid* sDBGrid2 = nullptr;
    QComboBox* ComboClienti = nullptr;
    QCheckBox* CheckClienti = nullptr;
    QLineEdit* EditFiltro = nullptr;
    sz::ui::DateBox* EditFiltroScadenza = nullptr;
    QRadioButton* FiltroPreavviso = nullptr;
    QRadioButton* FiltroSollecito1 = nullptr;
    QRadioButton* FiltroSollecito2 = nullptr;
    QRadioButton* FiltroSollecito3 = nullptr;
    QRadioButton* FiltroTutti = nullptr;
    QPushButton* BottoneArchivioPerCliente = nullptr;
    QPushButton* BottoneStampaPerCliente = nullptr;
    QPushButton* BottoneInviaPerCliente = nullptr;
    QPushButton* BottoneArchivioPerFattura = nullptr;
    QPushButton* BottoneStampaPerFattura = nullptr;
    QPushButton* BottoneInviaPerFattura = nullptr;
    QPushButton* BottoneVerificaRicevutePEC = nullptr; // beside the tabs
    QLabel* LabelSospesi = nullptr;
    QLabel* LabelInteressi = nullptr; // a rate missing for some credit of the list
    QString m_interessiMancanti;
    QPointer<TErroriForm> ErroriForm;
};
