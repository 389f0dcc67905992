#pragma once

#include "scadenzio/Dataset.h"
#include "scadenzio/Money.h"
#include "scadenzio/Widgets.h"

#include <QString>
#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QTabWidget;
class EvidenzeElenco;
class SospensioneCredito;
class StoricoComunicazioni;
class QPushButton;
class QRadioButton;
class QStackedWidget;

// The credit register: the list of every due date of every document, with its
// filters, and the page on which one row is entered or changed, together with the
// other instalments of its document and the dunning stages issued for it.
class TFrameCrediti : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameCrediti(QWidget* parent = nullptr);
    ~TFrameCrediti() override;

    // Filters of the list page.
    void FiltroStatoClick();
    void EditFiltroChange();
    void EditFiltroScadenzaChange();
    void CheckSoloSospesiClick();
    void GestisciFiltro();

    // Edit page.
    void EditNumeroFatturaExit();
    void EditDataFatturaExit();
    void EditImportoChange();
    void EditIncassatoChange();
    void CaricaAnagraficaCliente();
    void CaricaDestinatarioFattura();
    void GestisciAnnullamentoEmissioni();
    void ButtonAnnullaPreavvisoClick();
    void ButtonAnnullaSollecito1Click();
    void ButtonAnnullaSollecito2Click();
    void ButtonAnnullaSollecito3Click();

    sz::db::Dataset* queryCrediti() const { return ADOQueryCrediti; }
    sz::db::Dataset* queryScadenze() const { return ADOQueryScadenze; }
    // The tooltip of a list cell: over an interest column of a credit whose rate is
    // missing, the message naming the rate and where to enter it; otherwise empty.
    static QString suggerimento(const sz::ui::Grid* grid, const QModelIndex& cella);
    StoricoComunicazioni* storico() const { return m_storico; }
    EvidenzeElenco* evidenze() const { return m_evidenze; }
    bool paginaDettaglio() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void costruisciElenco(QWidget* page);
    void costruisciDettaglio(QWidget* page);
    QWidget* costruisciDettagliCliente();
    QWidget* costruisciFasi();

    void sDBNavigator1BeforeAction(sz::ui::Navigator::Button button);
    void sDBNavigator3BeforeAction(sz::ui::Navigator::Button button);
    void Nuovo();
    void Modifica();
    void Elimina();
    void Salva();

public:
    bool hasUnsavedChanges() const override;
    bool saveChanges() override;
    void discardChanges() override;

private:
    // The state and the total of the written row's document, inside the save's transaction.
    void ADOQueryCreditiAfterPost(const QString& numero, const QDate& data, const QString& stato);
    void MostraElenco();
    void MostraDettaglio();
    // Reads the register again, its suspensions judged on today's date.
    void RileggiCrediti();
    void MostraStorico();

    void CaricaScadenze(const QString& numero, const QDate& data);
    void MostraTotaleDocumento();
    void LeggiDocumentoDigitato();
    void AggiornaResiduo();
    void AnnullaFase(int fase);
    void ScegliVoce(QComboBox* box, const QString& text);
    void riempiScelte(QComboBox* box, sz::db::Dataset* list, const QString& field);

    sz::db::Dataset* ADOQueryCrediti = nullptr;
    sz::db::Dataset* ADOQueryClienti = nullptr;
    sz::db::Dataset* ADOQueryBanche = nullptr;
    sz::db::Dataset* ADOQueryParametri = nullptr;
    sz::db::Dataset* ADOQueryScadenze = nullptr;
    sz::ui::FieldBinder* m_binder = nullptr;

    QStackedWidget* PageControl = nullptr;
    QWidget* TabElenco = nullptr;
    QWidget* TabDettaglio = nullptr;

    sz::ui::Navigator* sDBNavigator1 = nullptr;
    QLineEdit* EditFiltro = nullptr;
    QRadioButton* FiltroAperti = nullptr;
    QRadioButton* FiltroChiusi = nullptr;
    QRadioButton* FiltroTutti = nullptr;
    sz::ui::DateBox* EditFiltroScadenza = nullptr;
    QCheckBox* CheckSoloSospesi = nullptr;
    sz::ui::Grid* sDBGrid1 = nullptr;
    EvidenzeElenco* m_evidenze = nullptr;

    QLineEdit* EditNumeroFattura = nullptr;
    sz::ui::DateBox* EditDataFattura = nullptr;
    QComboBox* ComboModalitaPagamento = nullptr;
    QComboBox* ComboBanca = nullptr;
    QComboBox* ComboCliente = nullptr;
    sz::ui::DateBox* EditScadenza = nullptr;
    sz::ui::MoneyBox* EditImporto = nullptr;
    sz::ui::MoneyBox* EditIncassato = nullptr;
    sz::ui::MoneyBox* EditResiduo = nullptr;
    QLineEdit* EditDataIncasso = nullptr;
    QLineEdit* EditNote = nullptr;
    QComboBox* ComboDestinatario = nullptr;
    QRadioButton* RadioAperto = nullptr;
    QRadioButton* RadioChiuso = nullptr;
    QLabel* LabelImportoTotale = nullptr;
    QLabel* LabelInteressi = nullptr; // a rate missing for some credit of the list
    QString m_interessiMancanti;
    // The line that names a missing rate, after a read of the list.
    void aggiornaInteressi();
    std::array<sz::ui::DateBox*, 4> m_dateFasi{};
    std::array<QPushButton*, 4> m_annullaFasi{};
    QLabel* LabelIndirizzo = nullptr;
    QLabel* LabelLocalitaProv = nullptr;
    std::array<QLabel*, 9> m_dettagli{}; // P.IVA, C.F., Tel., Cell., Fax, Mail #1..#3, Referente
    sz::ui::Grid* sDBGrid2 = nullptr;
    QTabWidget* TabDocumento = nullptr;
    StoricoComunicazioni* m_storico = nullptr;
    SospensioneCredito* m_sospensione = nullptr;
    sz::ui::Navigator* sDBNavigator3 = nullptr;

    // The row's collection history and collected amount as last saved: the history
    // box is rebuilt from them at every change of the collected amount.
    QString m_storicoSalvato;
    std::optional<sz::Money> m_incassatoSalvato;
};
