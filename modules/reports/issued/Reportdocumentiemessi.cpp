#include "Reportdocumentiemessi.h"
#include "VerificaRicevutePec.h"

#include "scadenzio/Invii.h"

#include "scadenzio/Error.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Paths.h"
#include "scadenzio/PrintPreview.h"
#include "scadenzio/Ui.h"
#include "scadenzio/report/Report.h"

#include <QApplication>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

SZ_REGISTER_FRAME(TFrameReportDocumentiEmessi);

using sz::db::Dataset;
using namespace sz::issued;

namespace {

const int larghezze[] = {110, 125, 90, 105, 105, 115, 150, 115, 220, 200, 180};
const int larghezzeComunicazioni[] = {125, 105, 115, 90, 105, 105, 120, 95, 65, 170, 200, 200, 230};

} // namespace

TFrameReportDocumentiEmessi::TFrameReportDocumentiEmessi(QWidget* parent)
try : sz
    ::ui::ModuleFrame(
        QStringLiteral("Documenti Emessi"),
        QStringLiteral("Permette di creare e stampare un elenco dei documenti emessi nell'arco di un "
                       "range temporale."),
        parent)
    {
        setObjectName(QStringLiteral("FrameReportDocumentiEmessi"));
        inizializza();

        ADOQueryCrediti = new Dataset(connection(), QString(), this);
        ADOQueryCrediti->setObjectName(QStringLiteral("ADOQueryCrediti"));
        ADOQuerySocieta = new Dataset(connection(), QString(), this);
        ADOQuerySocieta->setObjectName(QStringLiteral("ADOQuerySocieta"));
        ADOQuerySocieta->setSql(QStringLiteral("SELECT * FROM t_societa ORDER BY ID"));
        ADOQueryInvii = new Dataset(connection(), QString(), this);
        ADOQueryInvii->setObjectName(QStringLiteral("ADOQueryInvii"));
        ADOQueryInvii->afterRead = [this](sz::db::Result& r) {
            m_pecDaControllare = aggiungiStatoPec(connection(), r, sz::adesso());
        };

        auto* barra = sz::ui::commandBar(body());
        auto* righeBarra = new QVBoxLayout(barra);
        righeBarra->setContentsMargins(12, 6, 12, 6);
        righeBarra->setSpacing(6);

        // Which list: the existing one, a row per credit by its latest letter, or the log.
        auto* el = new QHBoxLayout;
        el->setSpacing(10);
        RadioElenco = new QWidget(barra);
        RadioElenco->setObjectName(QStringLiteral("RadioElenco"));
        auto* rl = new QHBoxLayout(RadioElenco);
        rl->setContentsMargins(0, 0, 0, 0);
        rl->setSpacing(14);
        auto* gruppoElenco = new QButtonGroup(this);
        RadioUltima = new QRadioButton(QStringLiteral("Ultima comunicazione"), RadioElenco);
        RadioUltima->setObjectName(QStringLiteral("RadioUltima"));
        RadioUltima->setToolTip(QStringLiteral("Un documento per riga, con l'ultima comunicazione emessa"));
        RadioTutte = new QRadioButton(QStringLiteral("Tutte le comunicazioni"), RadioElenco);
        RadioTutte->setObjectName(QStringLiteral("RadioTutte"));
        RadioTutte->setToolTip(QStringLiteral(
            "Ogni comunicazione creata o inviata, \"IN SOFFERENZA\" compresa, con il canale e l'esito"));
        gruppoElenco->addButton(RadioUltima);
        gruppoElenco->addButton(RadioTutte);
        RadioUltima->setChecked(true);
        rl->addWidget(RadioUltima);
        rl->addWidget(RadioTutte);
        el->addWidget(sz::ui::caption(QStringLiteral("Elenco:"), barra, nullptr));
        el->addWidget(RadioElenco);
        el->addStretch(1);
        BottoneVerificaRicevutePEC = new QPushButton(QStringLiteral("Verifica ricevute PEC"), barra);
        BottoneVerificaRicevutePEC->setObjectName(QStringLiteral("BottoneVerificaRicevutePEC"));
        BottoneVerificaRicevutePEC->setToolTip(
            QStringLiteral("Legge le ricevute di accettazione e di consegna dalla casella PEC, o da file .eml salvati, "
                           "e le archivia con le comunicazioni"));
        el->addWidget(BottoneVerificaRicevutePEC);
        // One button for whichever list is shown.
        BottoneEsporta = sz::ui::pulsanteEsporta(nullptr, barra);
        QObject::disconnect(BottoneEsporta, &QToolButton::clicked, nullptr, nullptr);
        el->addWidget(BottoneEsporta);
        righeBarra->addLayout(el);

        auto* fl = new QHBoxLayout;
        fl->setSpacing(10);
        righeBarra->addLayout(fl);
        EditFiltro = new QLineEdit(barra);
        EditFiltro->setObjectName(QStringLiteral("EditFiltro"));
        EditFiltro->setMinimumWidth(240);
        EditFiltro->setClearButtonEnabled(true);
        EditFiltro->setToolTip(
            QStringLiteral("Elenca solo i documenti dei Clienti il cui nome contiene il testo"));
        sz::ui::focusOnFind(EditFiltro);
        fl->addWidget(sz::ui::caption(QStringLiteral("&Cliente:"), barra, EditFiltro));
        fl->addWidget(EditFiltro);
        fl->addSpacing(16);

        auto* gruppo = new QButtonGroup(this);
        QRadioButton** pulsanti[] = {&FiltroPreavviso, &FiltroSollecito1, &FiltroSollecito2,
                                     &FiltroSollecito3, &FiltroTutte};
        const char* nomi[] = {"FiltroPreavviso", "FiltroSollecito1", "FiltroSollecito2", "FiltroSollecito3",
                              "FiltroTutte"};
        fl->addWidget(sz::ui::caption(QStringLiteral("Tipo:"), barra, nullptr));
        for (int i = 0; i < tipi().size(); ++i) {
            auto* r = new QRadioButton(tipi()[i].voce, barra);
            r->setObjectName(QLatin1String(nomi[i]));
            gruppo->addButton(r);
            fl->addWidget(r);
            *pulsanti[i] = r;
            m_tipi << qMakePair(r, tipi()[i].tipo);
        }
        FiltroTutte->setChecked(true);
        fl->addSpacing(16);

        EditFiltroDal = new sz::ui::DateBox(barra);
        EditFiltroDal->setObjectName(QStringLiteral("EditFiltroDal"));
        EditFiltroDal->setFixedWidth(110);
        EditFiltroDal->setToolTip(QStringLiteral("Primo giorno di emissione da elencare"));
        EditFiltroAl = new sz::ui::DateBox(barra);
        EditFiltroAl->setObjectName(QStringLiteral("EditFiltroAl"));
        EditFiltroAl->setFixedWidth(110);
        EditFiltroAl->setToolTip(QStringLiteral("Ultimo giorno di emissione da elencare"));
        fl->addWidget(sz::ui::caption(QStringLiteral("&Dal:"), barra, EditFiltroDal));
        fl->addWidget(EditFiltroDal);
        fl->addWidget(sz::ui::caption(QStringLiteral("&Al:"), barra, EditFiltroAl));
        fl->addWidget(EditFiltroAl);
        fl->addStretch(1);

        auto* area = new QWidget(body());
        auto* al = new QVBoxLayout(area);
        al->setContentsMargins(12, 8, 12, 10);
        griglie = new QStackedWidget(area);
        sDBGrid1 = new sz::ui::Grid(griglie);
        sDBGrid1->setObjectName(QStringLiteral("sDBGrid1"));
        sDBGrid1->setDataset(ADOQueryCrediti, colonne());
        for (int c = 0; c < int(std::size(larghezze)); ++c)
            sDBGrid1->setColumnWidth(c, larghezze[c]);
        for (int c : {3, 4, 5})
            sDBGrid1->setRightAligned(c);
        sz::ui::impostaNomeEsportazione(sDBGrid1, QStringLiteral("Documenti emessi"));
        GridComunicazioni = new sz::ui::Grid(griglie);
        GridComunicazioni->setObjectName(QStringLiteral("GridComunicazioni"));
        GridComunicazioni->setDataset(ADOQueryInvii, colonneComunicazioni());
        for (int c = 0; c < int(std::size(larghezzeComunicazioni)); ++c)
            GridComunicazioni->setColumnWidth(c, larghezzeComunicazioni[c]);
        for (int c : {4, 5})
            GridComunicazioni->setRightAligned(c);
        sz::ui::impostaNomeEsportazione(GridComunicazioni, QStringLiteral("Comunicazioni"));
        griglie->addWidget(sDBGrid1);
        griglie->addWidget(GridComunicazioni);
        al->addWidget(griglie, 1);

        auto* pulsanti2 = new QHBoxLayout;
        pulsanti2->setContentsMargins(0, 6, 0, 0);
        LabelTotale = new QLabel(area);
        LabelTotale->setObjectName(QStringLiteral("LabelTotale"));
        pulsanti2->addWidget(LabelTotale);
        pulsanti2->addStretch(1);
        BottoneApriPDF = new QPushButton(QStringLiteral("Apri &PDF"), area);
        BottoneApriPDF->setObjectName(QStringLiteral("BottoneApriPDF"));
        BottoneApriPDF->setToolTip(QStringLiteral("Apre il PDF della comunicazione selezionata (anche con un doppio clic)"));
        BottoneApriPDF->setVisible(false);
        pulsanti2->addWidget(BottoneApriPDF);
        BottoneApriRicevuta = new QPushButton(QStringLiteral("Apri ricevuta"), area);
        BottoneApriRicevuta->setObjectName(QStringLiteral("BottoneApriRicevuta"));
        BottoneApriRicevuta->setToolTip(
            QStringLiteral("Apre la ricevuta PEC della comunicazione selezionata (consegna o mancata consegna, "
                           "altrimenti accettazione)"));
        BottoneApriRicevuta->setVisible(false);
        pulsanti2->addWidget(BottoneApriRicevuta);
        BottoneInviaPerCliente = new QPushButton(QStringLiteral("&Stampa"), area);
        BottoneInviaPerCliente->setObjectName(QStringLiteral("BottoneInviaPerCliente"));
        BottoneInviaPerCliente->setToolTip(QStringLiteral("Stampa l'elenco così come è mostrato"));
        BottoneInviaPerCliente->setIcon(QIcon::fromTheme(QStringLiteral("document-print")));
        pulsanti2->addWidget(BottoneInviaPerCliente);
        al->addLayout(pulsanti2);

        auto* lay = new QVBoxLayout(body());
        lay->setContentsMargins(0, 0, 0, 0);
        lay->setSpacing(0);
        lay->addWidget(barra);
        lay->addWidget(area, 1);

        const Istruzione prima = sqlDocumentiEmessi(Filtro(), GORDER);
        ADOQueryCrediti->setSql(prima.sql, prima.params);
        ADOQueryCrediti->open();
        ADOQuerySocieta->open();
        aggiornaTotale();

        connect(EditFiltro, &QLineEdit::textChanged, this,
                [this] { sz::ui::guarded(this, [this] { GestisciFiltro(); }); });
        connect(EditFiltroDal, &QLineEdit::textChanged, this,
                [this] { sz::ui::guarded(this, [this] { GestisciFiltro(); }); });
        connect(EditFiltroAl, &QLineEdit::textChanged, this,
                [this] { sz::ui::guarded(this, [this] { GestisciFiltro(); }); });
        connect(gruppo, &QButtonGroup::buttonClicked, this,
                [this] { sz::ui::guarded(this, [this] { GestisciFiltro(); }); });
        connect(gruppoElenco, &QButtonGroup::buttonClicked, this,
                [this] { sz::ui::guarded(this, [this] { RadioElencoClick(); }); });
        connect(BottoneApriPDF, &QPushButton::clicked, this,
                [this] { sz::ui::guarded(this, [this] { BottoneApriPDFClick(); }); });
        connect(GridComunicazioni, &sz::ui::Grid::rowDoubleClicked, this,
                [this] { sz::ui::guarded(this, [this] { BottoneApriPDFClick(); }); });
        connect(BottoneApriRicevuta, &QPushButton::clicked, this,
                [this] { sz::ui::guarded(this, [this] { BottoneApriRicevutaClick(); }); });
        connect(ADOQueryInvii, &Dataset::currentChanged, this, [this] { aggiornaApriPdf(); });
        connect(BottoneVerificaRicevutePEC, &QPushButton::clicked, this, [this] {
            const QStringList errori = sz::pec::verificaRicevutePec(this, connection());
            Q_UNUSED(errori); // shown in the totals' details: this frame keeps no error list
            // The letters' states come from the receipts just filed.
            if (ADOQueryInvii->isOpen())
                ADOQueryInvii->requery();
        });
        connect(BottoneEsporta, &QToolButton::clicked, this,
                [this] { sz::ui::esportaGriglia(grigliaMostrata(), this); });
        for (Dataset* ds : {ADOQueryCrediti, ADOQueryInvii})
            connect(ds, &Dataset::rowsReset, this, [this] {
                aggiornaTotale();
                aggiornaApriPdf();
            });
        // After the grid's own handler, which has sorted the rows already read.
        connect(sDBGrid1->horizontalHeader(), &QHeaderView::sectionClicked, this,
                [this](int c) { sDBGrid1TitleClick(c); });
        connect(GridComunicazioni->horizontalHeader(), &QHeaderView::sectionClicked, this,
                [this](int c) { GridComunicazioniTitleClick(c); });
        connect(BottoneInviaPerCliente, &QPushButton::clicked, this,
                [this] { sz::ui::guarded(this, [this] { BottoneInviaPerClienteClick(); }); });
    }
catch (const sz::Error& e) {
    sz::ui::showError(nullptr, e.message());
}

TFrameReportDocumentiEmessi::~TFrameReportDocumentiEmessi()
{
    // Explicitly before the grid and the kit go with the other children.
    delete ADOQuerySocieta;
    delete ADOQueryInvii;
    delete ADOQueryCrediti;
}

Filtro TFrameReportDocumentiEmessi::filtro() const
{
    Filtro f;
    f.elenco = RadioTutte->isChecked() ? Elenco::Tutte : Elenco::Ultime;
    f.cliente = EditFiltro->text();
    for (const auto& [pulsante, tipo] : m_tipi)
        if (pulsante->isChecked()) f.tipo = tipo;
    // A half-typed or impossible date leaves the range incomplete, without a word.
    f.dal = EditFiltroDal->date();
    f.al = EditFiltroAl->date();
    return f;
}

void TFrameReportDocumentiEmessi::GestisciFiltro()
{
    const sz::ui::WaitCursor attesa;
    const Filtro f = filtro();
    if (f.elenco == Elenco::Tutte) {
        const Istruzione i = sqlComunicazioni(f, GORDERComunicazioni);
        ADOQueryInvii->setSql(i.sql, i.params);
        ADOQueryInvii->open();
    } else {
        const Istruzione i = sqlDocumentiEmessi(f, GORDER);
        ADOQueryCrediti->setSql(i.sql, i.params);
        ADOQueryCrediti->open();
    }
    aggiornaTotale();
}

void TFrameReportDocumentiEmessi::RadioElencoClick()
{
    const bool tutte = RadioTutte->isChecked();
    griglie->setCurrentWidget(tutte ? static_cast<QWidget*>(GridComunicazioni) : sDBGrid1);
    BottoneApriPDF->setVisible(tutte);
    BottoneApriRicevuta->setVisible(tutte);
    // The list shown is read with the filters as they are now.
    GestisciFiltro();
}

sz::ui::Grid* TFrameReportDocumentiEmessi::grigliaMostrata() const
{
    return RadioTutte->isChecked() ? GridComunicazioni : sDBGrid1;
}

void TFrameReportDocumentiEmessi::aggiornaTotale()
{
    const Dataset* ds = RadioTutte->isChecked() ? ADOQueryInvii : ADOQueryCrediti;
    QString testo = QStringLiteral("Righe: %1").arg(ds->isOpen() ? ds->recordCount() : 0);
    // A certified letter refused, undelivered or with no delivery receipt a day after its
    // acceptance needs the clerk: the list says how many there are, in red.
    if (RadioTutte->isChecked() && m_pecDaControllare > 0)
        testo += QStringLiteral(" – <span style=\"color:#c81e1e\">PEC da controllare: %1</span>").arg(m_pecDaControllare);
    LabelTotale->setText(testo);
}

void TFrameReportDocumentiEmessi::aggiornaApriPdf()
{
    BottoneApriPDF->setEnabled(ADOQueryInvii->isOpen() && ADOQueryInvii->recNo() >= 0 &&
                               !ADOQueryInvii->value(QStringLiteral("File")).toString().trimmed().isEmpty());
    BottoneApriRicevuta->setEnabled(ADOQueryInvii->isOpen() && ADOQueryInvii->recNo() >= 0 &&
                                    ADOQueryInvii->value(QStringLiteral("Canale")).toString() == QLatin1String("PEC"));
}

void TFrameReportDocumentiEmessi::BottoneApriRicevutaClick()
{
    if (!RadioTutte->isChecked() || ADOQueryInvii->recNo() < 0) return;
    const qint64 id = ADOQueryInvii->value(QStringLiteral("ID")).toLongLong();
    const QList<sz::pec::Lettera> lettere = sz::pec::lettere(connection(), {id});
    QString errore =
        QStringLiteral("ATTENZIONE: per questa comunicazione non è ancora arrivata alcuna ricevuta PEC.");
    const QString eml = lettere.isEmpty()
                            ? QString()
                            : sz::pec::ricevutaDaAprire(sz::pec::ricevuteDi(connection(), lettere.first().messageId),
                                                        sz::paths::dataRoot(), &errore);
    if (eml.isEmpty())
        sz::ui::showWarning(this, errore);
    else
        sz::ui::openLocation(eml);
}

void TFrameReportDocumentiEmessi::BottoneApriPDFClick()
{
    if (!RadioTutte->isChecked() || ADOQueryInvii->recNo() < 0) return;
    QString errore;
    const QString pdf = sz::invii::pdfDaAprire(sz::paths::dataRoot(), ADOQueryInvii->value(QStringLiteral("File")).toString(),
                                    &errore);
    if (pdf.isEmpty())
        sz::ui::showWarning(this, errore);
    else
        sz::ui::openLocation(pdf);
}

void TFrameReportDocumentiEmessi::sDBGrid1TitleClick(int)
{
    if (!ADOQueryCrediti->sort().isEmpty()) GORDER = ordineDaSort(ADOQueryCrediti->sort());
}

void TFrameReportDocumentiEmessi::GridComunicazioniTitleClick(int)
{
    QString sort = ADOQueryInvii->sort();
    if (sort.isEmpty()) return;
    // "Data e ora" is shown as dd/mm/yyyy HH:mm, which does not order as time does: the
    // rows are ordered by the stored text instead.
    const QString mostrato = QStringLiteral("DataOra ");
    if (sort.startsWith(mostrato)) {
        sort = campoOrdineDataOra() + sort.mid(mostrato.size() - 1);
        ADOQueryInvii->setSort(sort);
    }
    GORDERComunicazioni = ordineDaSortComunicazioni(sort);
}

void TFrameReportDocumentiEmessi::BottoneInviaPerClienteClick()
{
    ADOQuerySocieta->open();
    sz::report::Values societa;
    if (!ADOQuerySocieta->isEmpty()) {
        ADOQuerySocieta->first();
        for (int c = 0; c < ADOQuerySocieta->fieldCount(); ++c)
            societa.insert(ADOQuerySocieta->fieldName(c), ADOQuerySocieta->value(c));
    }
    const Filtro f = filtro();
    const Dataset& lista = f.elenco == Elenco::Tutte ? *ADOQueryInvii : *ADOQueryCrediti;
    m_stampa = stampa(righeMostrate(lista, f.elenco), riepilogo(lista, f.elenco), societa, f, sz::oggi(),
                      sz::paths::dataRoot(), sz::paths::programFolder());
    auto progetto = std::make_shared<sz::report::Project>();
    m_stampa.applyTo(*progetto);
    const QString titolo =
        f.elenco == Elenco::Tutte ? QStringLiteral("Elenco comunicazioni") : QStringLiteral("Elenco documenti emessi");
    sz::ui::showReportPreview(this, titolo, titolo + QStringLiteral(".pdf"), progetto);
    progetto->close();
}
