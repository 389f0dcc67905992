#include "Reportdocumentiemessi.h"

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
#include <QVBoxLayout>

SZ_REGISTER_FRAME(TFrameReportDocumentiEmessi);

using sz::db::Dataset;
using namespace sz::issued;

namespace {

const int larghezze[] = {110, 125, 90, 105, 105, 115, 150, 115, 220, 200, 180};

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

        auto* barra = sz::ui::commandBar(body());
        auto* fl = new QHBoxLayout(barra);
        fl->setContentsMargins(12, 6, 12, 6);
        fl->setSpacing(10);
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
        sDBGrid1 = new sz::ui::Grid(area);
        sDBGrid1->setObjectName(QStringLiteral("sDBGrid1"));
        sDBGrid1->setDataset(ADOQueryCrediti, colonne());
        for (int c = 0; c < int(std::size(larghezze)); ++c)
            sDBGrid1->setColumnWidth(c, larghezze[c]);
        for (int c : {3, 4, 5})
            sDBGrid1->setRightAligned(c);
        al->addWidget(sDBGrid1, 1);

        auto* pulsanti2 = new QHBoxLayout;
        pulsanti2->setContentsMargins(0, 6, 0, 0);
        pulsanti2->addStretch(1);
        BottoneInviaPerCliente = new QPushButton(QStringLiteral("&Stampa"), area);
        BottoneInviaPerCliente->setObjectName(QStringLiteral("BottoneInviaPerCliente"));
        BottoneInviaPerCliente->setToolTip(
            QStringLiteral("Stampa l'elenco dei documenti così come è mostrato"));
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

        connect(EditFiltro, &QLineEdit::textChanged, this,
                [this] { sz::ui::guarded(this, [this] { GestisciFiltro(); }); });
        connect(EditFiltroDal, &QLineEdit::textChanged, this,
                [this] { sz::ui::guarded(this, [this] { GestisciFiltro(); }); });
        connect(EditFiltroAl, &QLineEdit::textChanged, this,
                [this] { sz::ui::guarded(this, [this] { GestisciFiltro(); }); });
        connect(gruppo, &QButtonGroup::buttonClicked, this,
                [this] { sz::ui::guarded(this, [this] { GestisciFiltro(); }); });
        // After the grid's own handler, which has sorted the rows already read.
        connect(sDBGrid1->horizontalHeader(), &QHeaderView::sectionClicked, this,
                [this](int c) { sDBGrid1TitleClick(c); });
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
    delete ADOQueryCrediti;
}

Filtro TFrameReportDocumentiEmessi::filtro() const
{
    Filtro f;
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
    const Istruzione i = sqlDocumentiEmessi(filtro(), GORDER);
    ADOQueryCrediti->setSql(i.sql, i.params);
    ADOQueryCrediti->open();
}

void TFrameReportDocumentiEmessi::sDBGrid1TitleClick(int)
{
    if (!ADOQueryCrediti->sort().isEmpty()) GORDER = ordineDaSort(ADOQueryCrediti->sort());
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
    m_stampa = stampa(righeMostrate(*ADOQueryCrediti), societa, filtro(), sz::oggi(),
                      sz::paths::dataRoot(), sz::paths::programFolder());
    auto progetto = std::make_shared<sz::report::Project>();
    m_stampa.applyTo(*progetto);
    sz::ui::showReportPreview(this, QStringLiteral("Elenco documenti emessi"),
                              QStringLiteral("Elenco documenti emessi.pdf"), progetto);
    progetto->close();
}
