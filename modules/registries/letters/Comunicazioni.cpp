#include "Comunicazioni.h"

#include "ComunicazioniLogic.h"

#include "scadenzio/Error.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"
#include "scadenzio/PrintPreview.h"
#include "scadenzio/Ui.h"
#include "scadenzio/report/Letterhead.h"
#include "scadenzio/report/Report.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

SZ_REGISTER_FRAME(TFrameComunicazioni);

using sz::db::Dataset;
using sz::ui::Navigator;
using namespace sz::letters;

namespace {

QPlainTextEdit* memo(const QString& nome, const QString& hint, QWidget* parent)
{
    auto* m = new QPlainTextEdit(parent);
    m->setObjectName(nome);
    m->setToolTip(hint);
    m->setTabChangesFocus(true);
    m->setMinimumHeight(120);
    return m;
}

} // namespace

TFrameComunicazioni::TFrameComunicazioni(QWidget* parent)
try : sz
    ::ui::ModuleFrame(
        QStringLiteral("Comunicazioni"),
        QStringLiteral("Permette di personalizzare e modificare le comunicazioni dei preavvisi e dei "
                       "solleciti da trasmettere ai Clienti."),
        parent),
        m_anteprima(std::make_unique<sz::report::Filling>())
    {
        setObjectName(QStringLiteral("FrameComunicazioni"));

        ADOQueryComunicazioni = new Dataset(connection(), QStringLiteral("t_comunicazioni"), this);
        ADOQueryComunicazioni->setObjectName(QStringLiteral("ADOQueryComunicazioni"));
        ADOQueryComunicazioni->setSql(sqlComunicazione(),
                                      parametriComunicazione(tipologie().first().tipologia));
        ADOQueryComunicazioni->open();
        ADOQuerySocieta = new Dataset(connection(), QString(), this);
        ADOQuerySocieta->setObjectName(QStringLiteral("ADOQuerySocieta"));
        ADOQuerySocieta->setSql(QStringLiteral("SELECT * FROM t_societa ORDER BY ID"));
        ADOQuerySocieta->open();
        ADOQueryBanche = new Dataset(connection(), QString(), this);
        ADOQueryBanche->setObjectName(QStringLiteral("ADOQueryBanche"));
        ADOQueryBanche->setSql(QStringLiteral("SELECT * FROM t_banche ORDER BY ID"));
        ADOQueryBanche->open();

        // A kind whose row is missing gets one when its texts are first saved. The
        // texts keep the CR LF line breaks of the seeded ones, whatever the editor gives.
        ADOQueryComunicazioni->beforePost = [this](Dataset& d) {
            if (d.state() == Dataset::State::Insert)
                d.setValue(QStringLiteral("Tipologia"), tipologiaScelta());
            for (const char* campo : {"Introduzione", "Finale"}) {
                const QVariant v = d.value(QLatin1String(campo));
                if (!v.isNull())
                    d.setValue(QLatin1String(campo), acapoCrLf(v.toString()));
            }
        };

        auto* contenuto = new QWidget(body());
        contenuto->setMaximumWidth(900);
        auto* form = new QFormLayout(contenuto);
        form->setContentsMargins(18, 14, 18, 14);
        form->setHorizontalSpacing(14);
        form->setVerticalSpacing(12);
        form->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
        form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);

        sComboBox1 = new QComboBox(contenuto);
        sComboBox1->setObjectName(QStringLiteral("sComboBox1"));
        sComboBox1->setEditable(false);
        sComboBox1->setToolTip(QStringLiteral("Selezionare la tipologia di comunicazione da modificare"));
        for (const auto& v : tipologie())
            sComboBox1->addItem(v.voce);
        sComboBox1->setCurrentIndex(0);
        sComboBox1->setMinimumWidth(220);
        sComboBox1->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        form->addRow(sz::ui::caption(QStringLiteral("&Tipologia:"), contenuto, sComboBox1), sComboBox1);

        EditOggetto = new QLineEdit(contenuto);
        EditOggetto->setObjectName(QStringLiteral("EditOggetto"));
        EditOggetto->setToolTip(QStringLiteral("Inserire l'oggetto della comunicazione selezionata"));
        form->addRow(sz::ui::caption(QStringLiteral("&Oggetto:"), contenuto, EditOggetto), EditOggetto);

        MemoIntroduzione = memo(
            QStringLiteral("MemoIntroduzione"),
            QStringLiteral("Inserire un testo introduttivo per la comunicazione selezionata"), contenuto);
        form->addRow(sz::ui::caption(QStringLiteral("&Introduzione:"), contenuto, MemoIntroduzione),
                     MemoIntroduzione);
        MemoFinale =
            memo(QStringLiteral("MemoFinale"),
                 QStringLiteral("Inserire un testo conclusivo per la comunicazione selezionata"), contenuto);
        form->addRow(sz::ui::caption(QStringLiteral("&Conclusione:"), contenuto, MemoFinale), MemoFinale);

        m_binder = new sz::ui::FieldBinder(ADOQueryComunicazioni, this);
        m_binder->bind(EditOggetto, QStringLiteral("Oggetto"));
        m_binder->bind(MemoIntroduzione, QStringLiteral("Introduzione"));
        m_binder->bind(MemoFinale, QStringLiteral("Finale"));
        m_binder->load();

        sButton1 = new QPushButton(QStringLiteral("Visualizza &Anteprima"), contenuto);
        sButton1->setObjectName(QStringLiteral("sButton1"));
        sButton1->setToolTip(QStringLiteral("Permette di creare un'anteprima della comunicazione "
                                            "selezionata. I dati presenti all'interno della "
                                            "comunicazione non sono reali ma esclusivamente di test"));
        sButton1->setIcon(QIcon::fromTheme(QStringLiteral("document-print-preview")));
        auto* riga = new QHBoxLayout;
        riga->addStretch(1);
        riga->addWidget(sButton1);
        form->addRow(QString(), riga);

        // The tags a text may hold, so that nobody has to guess their spelling. Selectable,
        // to be copied into a text; wrapped, so that every line shows at any width.
        MemoCampi = new QLabel(contenuto);
        MemoCampi->setObjectName(QStringLiteral("MemoCampi"));
        MemoCampi->setTextInteractionFlags(Qt::TextSelectableByMouse);
        MemoCampi->setWordWrap(true);
        MemoCampi->setFrameShape(QFrame::StyledPanel);
        MemoCampi->setMargin(6);
        MemoCampi->setToolTip(QStringLiteral("Scrivere il campo, parentesi comprese, nell'oggetto, nell'introduzione "
                                             "o nella conclusione: nella comunicazione diventa il suo valore"));
        QStringList righe;
        for (const auto& c : campiDisponibili())
            righe << c.tag + QStringLiteral("  –  ") + c.spiegazione;
        MemoCampi->setTextFormat(Qt::PlainText);
        MemoCampi->setText(righe.join(QLatin1Char('\n')));
        MemoCampi->setStyleSheet(QStringLiteral("QLabel { background: #f4f6f8; color: #1f2d3d; }"));
        // The memos give up height before the list does.
        MemoCampi->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
        MemoCampi->setMinimumHeight(MemoCampi->fontMetrics().lineSpacing() * int(righe.size() + 5) + 16);
        form->addRow(sz::ui::caption(QStringLiteral("Campi disponibili nei testi:"), contenuto, MemoCampi), MemoCampi);

        sDBNavigator1 = new Navigator({Navigator::Post, Navigator::Cancel}, body());
        sDBNavigator1->setObjectName(QStringLiteral("sDBNavigator1"));
        sDBNavigator1->setAttribute(Qt::WA_StyledBackground, true);
        sDBNavigator1->setDataset(ADOQueryComunicazioni);

        auto* lay = new QVBoxLayout(body());
        lay->setContentsMargins(0, 0, 0, 0);
        lay->setSpacing(0);
        lay->addWidget(contenuto, 1);
        lay->addWidget(sDBNavigator1);

        connect(sComboBox1, &QComboBox::currentIndexChanged, this, [this](int indice) {
            if (indice == m_indice) return;
            // Another kind would drop what was typed for this one: ask first.
            if (!confirmLeave()) {
                const QSignalBlocker blocca(sComboBox1);
                sComboBox1->setCurrentIndex(m_indice);
                return;
            }
            m_indice = indice;
            sz::ui::guarded(this, [this] { sComboBox1Change(); });
        });
        connect(sButton1, &QPushButton::clicked, this,
                [this] { sz::ui::guarded(this, [this] { sButton1Click(); }); });
    }
catch (const sz::Error& e) {
    sz::ui::showError(nullptr, e.message());
}

TFrameComunicazioni::~TFrameComunicazioni()
{
    // Explicitly before the binder and the editors go with the other children.
    delete m_binder;
    delete ADOQueryBanche;
    delete ADOQuerySocieta;
    delete ADOQueryComunicazioni;
}

QString TFrameComunicazioni::tipologiaScelta() const
{
    return tipologiaDi(sComboBox1->currentText());
}

bool TFrameComunicazioni::hasUnsavedChanges() const
{
    return ADOQueryComunicazioni->isModified();
}

bool TFrameComunicazioni::saveChanges()
{
    return sDBNavigator1->click(Navigator::Post);
}

void TFrameComunicazioni::discardChanges()
{
    if (ADOQueryComunicazioni->state() != Dataset::State::Browse) sDBNavigator1->click(Navigator::Cancel);
}

void TFrameComunicazioni::sComboBox1Change()
{
    if (ADOQueryComunicazioni->state() != Dataset::State::Browse) ADOQueryComunicazioni->cancel();
    ADOQueryComunicazioni->setSql(sqlComunicazione(), parametriComunicazione(tipologiaScelta()));
    ADOQueryComunicazioni->open();
    m_binder->load();
}

void TFrameComunicazioni::sButton1Click()
{
    // The preview reads the template as saved; what is typed and not saved stays in the
    // boxes, still to be saved or dropped, and is not in the preview.
    const QString cartellaProgramma = sz::paths::programFolder();
    // Dated the day the clerk asks for it.
    *m_anteprima =
        anteprima(connection(), tipologiaScelta(), sz::oggi(), sz::paths::dataRoot(), cartellaProgramma);
    auto progetto = std::make_shared<sz::report::Project>();
    m_anteprima->applyTo(*progetto);
    const QString titolo = QStringLiteral("Anteprima comunicazione - ") + sComboBox1->currentText();
    sz::ui::showReportPreview(
        this, titolo, QStringLiteral("Anteprima ") + tipologiaScelta() + QStringLiteral(".pdf"), progetto);
    progetto->close();
}

const sz::report::Filling& TFrameComunicazioni::ultimaAnteprima() const
{
    return *m_anteprima;
}
