#pragma once

#include "ImportazioneLogic.h"

#include "scadenzio/Widgets.h"

#include <QAbstractTableModel>

#include <memory>

class QComboBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTableView;
class QThread;
class QTimer;
class QToolButton;

// The preview grid as a table model over one immutable grid: row 0 is the header, column
// 0 the row numbers, both shown as the view's fixed headers. The worker of a run reads
// the same grid, so nothing can change it under the run.
class GrigliaModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setGriglia(std::shared_ptr<const sz::importazione::Griglia> griglia);
    const std::shared_ptr<const sz::importazione::Griglia>& griglia() const { return m_griglia; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::shared_ptr<const sz::importazione::Griglia> m_griglia;
};

// "Importazione dati": clients and issued documents from delimited text, spreadsheet and
// electronic-invoice files, through a preview, a column mapping saved per kind, a run on a worker thread,
// and the restore of the copy taken before the last run.
class TFrameImportazione : public sz::ui::ModuleFrame
{
    Q_OBJECT
public:
    explicit TFrameImportazione(QWidget* parent = nullptr);
    ~TFrameImportazione() override;

    QWidget* PanelImpostazioni = nullptr;
    QProgressBar* Gauge = nullptr;
    sz::ui::RadioGroup* RadioGroupTipologia = nullptr;
    sz::ui::RadioGroup* RadioGroupEstensione = nullptr;
    sz::ui::RadioGroup* RadioGroupDelimitatore = nullptr;
    QLineEdit* EditDelimitatore = nullptr;
    QGroupBox* GroupBoxFile = nullptr;
    QLineEdit* EditFileName = nullptr;
    QToolButton* ButtonSfoglia = nullptr;
    QPushButton* ButtonCarica = nullptr;
    // Shown while a file is being read: leaves the reading, which ends on its own.
    QPushButton* ButtonAnnullaCaricamento = nullptr;

    QStackedWidget* PageControl = nullptr;
    QWidget* TabImpostazioni = nullptr;
    QPushButton* ButtonRipristina = nullptr;
    QWidget* TabPreviewClienti = nullptr;
    QWidget* TabPreviewFatture = nullptr;
    QTableView* StringGridClienti = nullptr;
    QTableView* StringGridFatture = nullptr;
    QProgressBar* GaugeClienti = nullptr;
    QProgressBar* GaugeFatture = nullptr;
    QPushButton* ButtonImportaClienti = nullptr;
    QPushButton* ButtonImportaFatture = nullptr;
    QPushButton* ButtonAnnullaClienti = nullptr;
    QPushButton* ButtonAnnullaFatture = nullptr;
    QWidget* TabErrori = nullptr;
    QPlainTextEdit* MemoErrori = nullptr;
    QPushButton* ButtonOK = nullptr;
    QTableView* StringGridErrori = nullptr;

    // The drop-down list of a target field, by its objectName (ComboRagioneSocialeCliente…).
    QComboBox* lista(const QString& nome) const;
    // The file dialog's filter for the chosen file type.
    QString filtroFile() const;
    // A run is going on (tests wait for its end).
    bool inCorso() const;
    // A file is being read for the preview (tests wait for its end).
    bool caricamentoInCorso() const;

    void ButtonCaricaClick();
    void AnnullaCaricamento();
    void ButtonImportaClick(sz::importazione::Tipo tipo);
    void Annulla(sz::importazione::Tipo tipo);
    void ButtonOKClick();
    void ButtonRipristinaClick();
    void AbilitaImpostazioni();
    void DisabilitaImpostazioni();
    void CaricaImpostazione(const QString& tipologia);

private:
    // Times the preview and the error page with a grid it read itself.
    friend class TestImportFrame;
    struct Corsa;
    struct Lettura;
    sz::importazione::Tipo tipoScelto() const;
    sz::importazione::TipoFile tipoFileScelto() const;
    QString delimitatoreSalvato() const;
    QChar delimitatore() const;
    void RadioGroupEstensioneChange();
    void sfoglia();
    void riempiListe(sz::importazione::Tipo tipo);
    void CaricaMappatura();
    void scegli(const sz::importazione::Scelte& scelte);
    // The files named in EditFileName: one path, or several quoted.
    QStringList fileScelti() const;
    sz::importazione::Scelte scelte(sz::importazione::Tipo tipo) const;
    void GridColAutoSize(QTableView* grid);
    void aggiornaRipristina();
    void fineCorsa();
    void mostraRisultato(sz::importazione::Tipo tipo, const sz::importazione::Esito& esito);
    void fermaCorsa();
    // Loading: the settings locked with the gauge running, or open again.
    void inCaricamento(bool si);
    void fineLettura(std::shared_ptr<Lettura> lettura);
    void mostraAnteprima(sz::importazione::Tipo tipo, sz::importazione::Caricamento c);
    static void attendi(const std::shared_ptr<Lettura>& lettura);

    GrigliaModel* m_modelloClienti = nullptr;
    GrigliaModel* m_modelloFatture = nullptr;
    GrigliaModel* m_modelloErrori = nullptr;
    QHash<QString, QComboBox*> m_liste;
    std::shared_ptr<Corsa> m_corsa;
    // The reading under way, and one the clerk left with Annulla that has not ended yet.
    std::shared_ptr<Lettura> m_lettura;
    std::shared_ptr<Lettura> m_lasciata;
    QTimer* m_avanzamento = nullptr;
    // The document grid is one of electronic invoices, and the files and documents its
    // loading left out.
    bool m_elettronica = false;
    QStringList m_scartati;
};
