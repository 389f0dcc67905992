#include "Parametri.h"

#include "ParametriLogic.h"

#include "scadenzio/Dataset.h"
#include "scadenzio/FrameRegistry.h"
#include "scadenzio/Ui.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPolygonF>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>

SZ_REGISTER_FRAME(TFrameParametri);

using sz::ui::Navigator;

namespace {

const QString messaggioModalitaMancante =
    QStringLiteral("ATTENZIONE: la modalità di pagamento risulta mancante. Si prega di compilare il campo richiesto "
                   "per poter effettuare il salvataggio dei dati.");
const QString domandaElimina = QStringLiteral("La modalità di pagamento selezionata sarà eliminata. Continuare?");

const QStringList descrizione = {
    QStringLiteral("Permette di gestire e modificare i parametri globali che impostano le regole e funzionalità "
                   "relative alla gestione delle comunicazioni."),
    QString(),
    QStringLiteral("- Preavviso: indica il numero dei giorni, a partire dalla data di scadenza, per l'invio della "
                   "situazione contabile (se numero negativo la comunicazione viene effettuata N giorni prima della "
                   "data di scadenza);"),
    QStringLiteral("- 1° Sollecito: indica il numero dei giorni, a partire dalla data di scadenza, per l'invio del 1° "
                   "sollecito;"),
    QStringLiteral("- 2° Sollecito: indica il numero dei giorni, a partire dalla data di scadenza, per l'invio del 2° "
                   "sollecito;"),
    QStringLiteral("- 3° Sollecito: indica il numero dei giorni, a partire dalla data di scadenza, per l'invio del 3° "
                   "sollecito;"),
    QStringLiteral("- Giorni tra solleciti: indica il numero minimo di giorni che devono trascorrere tra una "
                   "comunicazione e la successiva allo stesso credito (0 = nessun intervallo);"),
    QString(),
    QStringLiteral("Suggerimento: nel caso in cui la modalità di pagamento risulti una Rimessa Diretta (R.D.), si "
                   "consiglia di impostare a 1 i giorni di preavviso; in questo modo verrà inviata la situazione "
                   "contabile il giorno successivo (o alla prima data utile) dalla emissione del documento."),
};


// An arrow of the spin buttons, drawn once per load of the module: a style sheet takes
// pictures only from files or resources, and the module ships neither.
QString frecciaGiorni(bool su)
{
    static QTemporaryDir dir;
    const QString path = dir.path() + (su ? QStringLiteral("/su.png") : QStringLiteral("/giu.png"));
    if (!QFileInfo::exists(path)) {
        QImage img(18, 12, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x3f, 0x51, 0x63));
        const QPolygonF tri = su ? QPolygonF({QPointF(1, 11), QPointF(17, 11), QPointF(9, 1)})
                                 : QPolygonF({QPointF(1, 1), QPointF(17, 1), QPointF(9, 11)});
        p.drawPolygon(tri);
        p.end();
        img.save(path);
    }
    return path;
}

// The program-wide look gives spin boxes a border, which makes Fusion drop its own
// arrow buttons; they are drawn again here.
QString stileGiorni()
{
    return QStringLiteral(
               "QSpinBox { padding: 3px 24px 3px 6px; }"
               "QSpinBox::up-button, QSpinBox::down-button { subcontrol-origin: border; width: 20px;"
               " border-left: 1px solid #c5d0dc; background: #f4f6f9; }"
               "QSpinBox::up-button { subcontrol-position: top right; border-top-right-radius: 4px;"
               " border-bottom: 1px solid #e1e7ee; }"
               "QSpinBox::down-button { subcontrol-position: bottom right; border-bottom-right-radius: 4px; }"
               "QSpinBox::up-button:hover, QSpinBox::down-button:hover { background: #dbe6f2; }"
               "QSpinBox::up-arrow { image: url(%1); width: 9px; height: 6px; }"
               "QSpinBox::down-arrow { image: url(%2); width: 9px; height: 6px; }")
        .arg(frecciaGiorni(true), frecciaGiorni(false));
}


} // namespace

TFrameParametri::TFrameParametri(QWidget* parent)
    : sz::ui::ListEditFrame(QStringLiteral("Parametri Globali"), descrizione.join(QLatin1Char('\n')), parent)
{
    setObjectName(QStringLiteral("FrameParametri"));
    m_parametri = new sz::db::Dataset(connection(), QStringLiteral("t_parametri"), this);
    m_parametri->setObjectName(QStringLiteral("ADOQueryParametri"));
    m_parametri->setSql(sz::params::sqlParametri);
    m_parametri->open();

    Pages pages;
    pages.pagesName = QStringLiteral("sPageControl1");
    pages.editNavigatorName = QStringLiteral("sDBNavigator2");
    QWidget* content = buildPages(m_parametri,
                                  {{"Modalita", "Modalità di pagamento"},
                                   {"Preavviso", "Preavviso (GG.)"},
                                   {"Sollecito1", "1° Sollecito (GG.)"},
                                   {"Sollecito2", "2° Sollecito (GG.)"},
                                   {"Sollecito3", "3° Sollecito (GG.)"},
                                   {sz::params::campoGiorniMostrati, "Giorni tra solleciti"}},
                                  pages);
    filterEdit()->setMinimumWidth(240);
    grid()->setColumnWidth(0, 280);
    for (int c = 1; c < 6; ++c)
        grid()->setColumnWidth(c, 150);
    creaCampi(content);
    binder()->load();
    showList();
}

TFrameParametri::~TFrameParametri()
{
    // The dataset refers to the connection, which the base class releases first.
    delete m_parametri;
}

QSpinBox* TFrameParametri::aggiungiGiorni(QVBoxLayout* lay, const QString& nome, const QString& didascalia,
                                          const QString& esempio, int minimo, int massimo,
                                          const QString& suggerimento)
{
    auto* parent = lay->parentWidget();
    auto* label = new QLabel(didascalia, parent);
    label->setObjectName(QStringLiteral("Label") + nome.mid(4));
    label->setWordWrap(true);
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(nome);
    spin->setRange(minimo, massimo);
    spin->setSingleStep(1);
    spin->setAlignment(Qt::AlignRight);
    spin->setFixedWidth(90);
    label->setBuddy(spin);
    label->setToolTip(suggerimento);
    spin->setToolTip(suggerimento);
    auto* riga = new QHBoxLayout();
    riga->setSpacing(12);
    riga->addWidget(label, 1);
    riga->addWidget(spin, 0, Qt::AlignTop);
    lay->addLayout(riga);
    auto* es = new QLabel(esempio, parent);
    es->setObjectName(nome + QStringLiteral("Esempio"));
    es->setWordWrap(true);
    es->setStyleSheet(QStringLiteral("color: #5a6b7c; font-style: italic;"));
    lay->addWidget(es);
    lay->addSpacing(8);
    return spin;
}

void TFrameParametri::creaCampi(QWidget* page)
{
    auto* lay = new QVBoxLayout(page);
    lay->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* inner = new QWidget(scroll);
    auto* innerLay = new QVBoxLayout(inner);
    innerLay->setContentsMargins(12, 10, 12, 12);

    auto* box = new QGroupBox(QStringLiteral("Modalità di pagamento e giorni di invio"), inner);
    box->setObjectName(QStringLiteral("GroupParametri"));
    box->setStyleSheet(stileGiorni());
    box->setMaximumWidth(900);
    auto* boxLay = new QVBoxLayout(box);
    boxLay->setContentsMargins(16, 16, 16, 12);
    boxLay->setSpacing(4);

    auto* rigaModo = new QHBoxLayout();
    auto* labelModo = new QLabel(QStringLiteral("Modalità di pagamento:"), box);
    m_modalita = new QLineEdit(box);
    m_modalita->setObjectName(QStringLiteral("DBEditModalita"));
    m_modalita->setMaxLength(255);
    m_modalita->setMinimumWidth(300);
    sz::ui::makeUpperCase(m_modalita);
    binder()->bind(m_modalita, QStringLiteral("Modalita"));
    labelModo->setBuddy(m_modalita);
    rigaModo->addWidget(labelModo);
    rigaModo->addWidget(m_modalita, 1);
    boxLay->addLayout(rigaModo);
    boxLay->addSpacing(12);

    m_preavviso = aggiungiGiorni(
        boxLay, QStringLiteral("SpinPreavviso"),
        QStringLiteral("N° dei giorni a deccorrere dalla data di scadenza del documento per l'invio al Cliente o la "
                       "stampa della situazione contabile:"),
        QStringLiteral("(1° Es.: scadenza al 10/05/2000  GG. inseriti +5 | la situazione contabile sarà inviata il "
                       "15/05/2000. 2° Es.: scadenza al 10/05/2000 | GG. inseriti -5 | la situazione contabile sarà "
                       "inviata il 05/05/2000)"),
        -99);
    m_sollecito1 = aggiungiGiorni(
        boxLay, QStringLiteral("SpinSollecito1"),
        QStringLiteral("N° dei giorni a decorrere dalla data di scadenza del documento per l'invio al Cliente o la "
                       "stampa del 1° sollecito:"),
        QStringLiteral("(Es.: scadenza al 10/05/2000  GG. inseriti +5 | il 1° sollecito sarà inviato il 15/05/2000)"), 1);
    m_sollecito2 = aggiungiGiorni(
        boxLay, QStringLiteral("SpinSollecito2"),
        QStringLiteral("N° dei giorni a decorrere dalla data di scadenza del documento per l'invio al Cliente o la "
                       "stampa del 2° sollecito:"),
        QStringLiteral("(Es.: scadenza al 10/05/2000  GG. inseriti +10 | il 2° sollecito sarà inviato il 20/05/2000)"),
        1);
    m_sollecito3 = aggiungiGiorni(
        boxLay, QStringLiteral("SpinSollecito3"),
        QStringLiteral("N° dei giorni a decorrere dalla data di scadenza del documento per l'invio al Cliente o la "
                       "stampa del 3° sollecito:"),
        QStringLiteral("(Es.: scadenza al 10/05/2000 GG. inseriti +20 | il 3° sollecito sarà inviato il 30/05/2000)"), 1);
    m_giorniTraSolleciti = aggiungiGiorni(
        boxLay, QStringLiteral("SpinGiorniTraSolleciti"),
        QStringLiteral("N° minimo di giorni tra una comunicazione e la successiva allo stesso credito:"),
        QStringLiteral("(Es.: GG. inseriti 10 | dopo un sollecito inviato il 10/05/2000 il successivo non sarà inviato "
                       "prima del 20/05/2000; 0 = nessun intervallo)"),
        0, sz::params::MassimoGiorniTraSolleciti,
        QStringLiteral("Un credito è proposto per la comunicazione successiva solo quando, oltre ai giorni dalla "
                       "scadenza, sono trascorsi almeno questi giorni dall'ultima comunicazione creata o inviata "
                       "per lo stesso credito (0 = nessun intervallo)"));

    innerLay->addWidget(box);
    innerLay->addStretch(1);
    scroll->setWidget(inner);
    lay->addWidget(scroll, 1);
}

QString TFrameParametri::filterFor(const QString& typed) const
{
    return sz::params::filtroModalita(typed);
}

QString TFrameParametri::deleteQuestion() const
{
    return domandaElimina;
}

void TFrameParametri::beforeListAction(Navigator::Button b)
{
    if (b == Navigator::Insert) {
        m_preavviso->setValue(sz::params::PropostaPreavviso);
        m_sollecito1->setValue(sz::params::PropostaSollecito1);
        m_sollecito2->setValue(sz::params::PropostaSollecito2);
        m_sollecito3->setValue(sz::params::PropostaSollecito3);
        m_giorniTraSolleciti->setValue(sz::params::PropostaGiorniTraSolleciti);
    } else if (b == Navigator::Edit) {
        m_preavviso->setValue(m_parametri->value(QStringLiteral("Preavviso")).toInt());
        m_sollecito1->setValue(m_parametri->value(QStringLiteral("Sollecito1")).toInt());
        m_sollecito2->setValue(m_parametri->value(QStringLiteral("Sollecito2")).toInt());
        m_sollecito3->setValue(m_parametri->value(QStringLiteral("Sollecito3")).toInt());
        m_giorniTraSolleciti->setValue(m_parametri->value(QStringLiteral("GiorniTraSolleciti")).toInt());
    }
}

void TFrameParametri::checkSave()
{
    if (m_modalita->text().trimmed().isEmpty()) {
        sz::ui::showMessage(this, messaggioModalitaMancante);
        throw sz::db::Abort();
    }
    // Whole numbers, so the saved row sorts by value alongside the rows read back.
    m_parametri->setValue(QStringLiteral("Preavviso"), m_preavviso->value());
    m_parametri->setValue(QStringLiteral("Sollecito1"), m_sollecito1->value());
    m_parametri->setValue(QStringLiteral("Sollecito2"), m_sollecito2->value());
    m_parametri->setValue(QStringLiteral("Sollecito3"), m_sollecito3->value());
    m_parametri->setValue(QStringLiteral("GiorniTraSolleciti"), m_giorniTraSolleciti->value());
    m_parametri->setValue(QLatin1String(sz::params::campoGiorniMostrati), m_giorniTraSolleciti->value());
}

bool TFrameParametri::hasUnsavedChanges() const
{
    // The day boxes reach the row only when it is saved.
    if (ListEditFrame::hasUnsavedChanges())
        return true;
    if (m_parametri->state() != sz::db::Dataset::State::Edit)
        return false;
    return m_preavviso->value() != m_parametri->value(QStringLiteral("Preavviso")).toInt() ||
           m_sollecito1->value() != m_parametri->value(QStringLiteral("Sollecito1")).toInt() ||
           m_sollecito2->value() != m_parametri->value(QStringLiteral("Sollecito2")).toInt() ||
           m_sollecito3->value() != m_parametri->value(QStringLiteral("Sollecito3")).toInt() ||
           m_giorniTraSolleciti->value() != m_parametri->value(QStringLiteral("GiorniTraSolleciti")).toInt();
}

bool TFrameParametri::saveChanges()
{
    if (!hasUnsavedChanges())
        return true;
    return editNavigator()->click(Navigator::Post);
}

bool TFrameParametri::dettaglioVisibile() const
{
    return editVisible();
}
