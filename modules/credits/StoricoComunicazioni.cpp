#include "StoricoComunicazioni.h"

#include "CreditiLogic.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"
#include "scadenzio/Widgets.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QStringList titoli = {QStringLiteral("Data e ora"), QStringLiteral("Comunicazione"),
                            QStringLiteral("Modo"),       QStringLiteral("Canale"),
                            QStringLiteral("Esito"),      QStringLiteral("Stato PEC"),
                            QStringLiteral("Destinatari"), QStringLiteral("Postazione"),
                            QStringLiteral("File")};
enum Colonna { DataOra, Comunicazione, Modo, Canale, Esito, StatoPec, Destinatari, Postazione, File };

const QString EsitoDaColonne = QStringLiteral("Registrata prima dello storico");
const QString SpiegazioneDaColonne = QStringLiteral(
    "Comunicazione nota solo dalla data registrata sul credito (emessa prima che esistesse lo storico, "
    "o data inserita a mano): modo, canale, destinatari ed esito non sono noti.");

} // namespace

StoricoComunicazioni::StoricoComunicazioni(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("StoricoComunicazioni"));
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(10, 10, 10, 8);
    lay->setSpacing(6);

    m_modello = new QStandardItemModel(0, int(titoli.size()), this);
    m_modello->setHorizontalHeaderLabels(titoli);
    GridStorico = new QTableView(this);
    GridStorico->setObjectName(QStringLiteral("GridStorico"));
    GridStorico->setModel(m_modello);
    GridStorico->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridStorico->setSelectionMode(QAbstractItemView::SingleSelection);
    GridStorico->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridStorico->setAlternatingRowColors(true);
    GridStorico->setWordWrap(false);
    GridStorico->verticalHeader()->setVisible(false);
    GridStorico->verticalHeader()->setDefaultSectionSize(GridStorico->fontMetrics().height() + 8);
    GridStorico->horizontalHeader()->setHighlightSections(false);
    GridStorico->horizontalHeader()->setStretchLastSection(true);
    GridStorico->setMinimumHeight(100);
    const int larghezze[] = {125, 115, 95, 65, 190, 150, 200, 150};
    for (int c = 0; c < int(std::size(larghezze)); ++c)
        GridStorico->horizontalHeader()->resizeSection(c, larghezze[c]);
    lay->addWidget(GridStorico, 1);

    auto* piede = new QHBoxLayout();
    auto* nota =
        new QLabel(QStringLiteral("Le comunicazioni più recenti sono in cima; doppio clic su una riga "
                                  "per aprirne il PDF."),
                   this);
    nota->setStyleSheet(QStringLiteral("color: #5a6a7a; font-weight: normal;"));
    piede->addWidget(nota, 1);
    QToolButton* esporta = sz::ui::pulsanteEsporta(GridStorico, this);
    esporta->setObjectName(QStringLiteral("BottoneEsportaStorico")); // the register's list has its own
    piede->addWidget(esporta);
    BottoneApriPDF = new QPushButton(QStringLiteral("Apri PDF"), this);
    BottoneApriPDF->setObjectName(QStringLiteral("BottoneApriPDF"));
    BottoneApriPDF->setToolTip(QStringLiteral("Apre il PDF della comunicazione selezionata"));
    BottoneApriPDF->setCursor(Qt::PointingHandCursor);
    BottoneApriPDF->setEnabled(false);
    piede->addWidget(BottoneApriPDF);
    BottoneApriRicevuta = new QPushButton(QStringLiteral("Apri ricevuta"), this);
    BottoneApriRicevuta->setObjectName(QStringLiteral("BottoneApriRicevuta"));
    BottoneApriRicevuta->setToolTip(
        QStringLiteral("Apre la ricevuta PEC della comunicazione selezionata (consegna o mancata consegna, "
                       "altrimenti accettazione)"));
    BottoneApriRicevuta->setCursor(Qt::PointingHandCursor);
    BottoneApriRicevuta->setEnabled(false);
    piede->addWidget(BottoneApriRicevuta);
    lay->addLayout(piede);
    connect(BottoneApriRicevuta, &QPushButton::clicked, this, [this] { BottoneApriRicevutaClick(); });

    connect(BottoneApriPDF, &QPushButton::clicked, this, [this] { BottoneApriPDFClick(); });
    // A double click, or Enter on the current row, as the button.
    connect(GridStorico, &QTableView::activated, this, [this] {
        if (BottoneApriPDF->isEnabled()) BottoneApriPDFClick();
    });
    connect(GridStorico->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { aggiornaBottone(); });

    // The pop-up menu of every list of the program.
    GridStorico->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(GridStorico, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        QMenu menu(GridStorico);
        QAction* apri = menu.addAction(QStringLiteral("Apri PDF"));
        apri->setEnabled(BottoneApriPDF->isEnabled());
        QAction* ricevuta = menu.addAction(QStringLiteral("Apri ricevuta"));
        ricevuta->setEnabled(BottoneApriRicevuta->isEnabled());
        QAction* esporta = menu.addAction(QStringLiteral("Esporta…"));
        QAction* scelta = menu.exec(GridStorico->viewport()->mapToGlobal(p));
        if (scelta == apri)
            BottoneApriPDFClick();
        else if (scelta == ricevuta)
            BottoneApriRicevutaClick();
        else if (scelta == esporta)
            Esporta();
    });
}

int StoricoComunicazioni::Esporta()
{
    return sz::ui::esportaGriglia(GridStorico, window());
}

void StoricoComunicazioni::carica(sz::db::Connection& conn, qint64 idCredito)
{
    m_invii = idCredito > 0 ? sz::invii::storico(conn, idCredito) : QList<sz::invii::Invio>();
    m_statiPec = QStringList(m_invii.size());
    m_daControllare = QList<bool>(m_invii.size(), false);
    m_ricevute = QList<QList<sz::pec::RicevutaRegistrata>>(m_invii.size());
    QList<qint64> certificate;
    for (const sz::invii::Invio& v : m_invii)
        if (!v.daColonne && v.canale == QLatin1String("PEC") && !v.messageId.isEmpty())
            certificate << v.id;
    if (!certificate.isEmpty()) {
        const QDateTime ora = sz::adesso();
        for (const sz::pec::Lettera& l : sz::pec::lettere(conn, certificate)) {
            const QList<sz::pec::RicevutaRegistrata> ricevute = sz::pec::ricevuteDi(conn, l.messageId);
            const sz::pec::StatoLettera stato = sz::pec::statoLettera(l, ricevute, ora);
            for (int r = 0; r < int(m_invii.size()); ++r)
                if (l.idInvii.contains(m_invii[r].id)) {
                    m_statiPec[r] = stato.testo();
                    m_daControllare[r] = stato.daControllare();
                    m_ricevute[r] = ricevute;
                }
        }
    }
    // The file an export proposes names the document.
    const QString numero = m_invii.isEmpty() ? QString() : m_invii.first().numeroFattura.trimmed();
    QString nome = QStringLiteral("Storico comunicazioni");
    if (!numero.isEmpty()) nome += QLatin1Char(' ') + numero;
    sz::ui::impostaNomeEsportazione(GridStorico, nome);
    mostra();
}

void StoricoComunicazioni::svuota()
{
    m_invii.clear();
    m_statiPec.clear();
    m_daControllare.clear();
    m_ricevute.clear();
    mostra();
}

void StoricoComunicazioni::mostra()
{
    m_modello->removeRows(0, m_modello->rowCount());
    m_modello->setRowCount(int(m_invii.size()));
    for (int r = 0; r < int(m_invii.size()); ++r) {
        const sz::invii::Invio& v = m_invii[r];
        QStringList testi(titoli.size());
        testi[DataOra] = v.daColonne ? sz::dates::toDisplay(v.dataOra.date())
                                     : v.dataOra.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
        testi[Comunicazione] = sz::credits::etichettaFase(v.fase);
        testi[Modo] = v.modo;
        testi[Canale] = v.canale;
        testi[Esito] = v.daColonne ? EsitoDaColonne : v.esito;
        testi[StatoPec] = m_statiPec.value(r);
        testi[Destinatari] = v.destinatari;
        testi[Postazione] = v.postazione;
        testi[File] = v.file;
        for (int c = 0; c < int(testi.size()); ++c) {
            auto* item = new QStandardItem(testi[c]);
            if (v.daColonne) {
                QFont f = GridStorico->font();
                f.setItalic(true);
                item->setFont(f);
                item->setForeground(QColor(0x7a, 0x86, 0x94));
                item->setToolTip(SpiegazioneDaColonne);
            } else if (c == Esito && v.esito.startsWith(QLatin1String("NON INVIATA"))) {
                item->setForeground(QColor(200, 30, 30));
                item->setToolTip(v.esito);
            } else if (c == StatoPec && m_daControllare.value(r)) {
                // A refusal, a failed delivery or a receipt still missing after a day: the
                // clerk has to act, so the row says so in red.
                item->setForeground(QColor(200, 30, 30));
                item->setToolTip(testi[c]);
            } else if (!testi[c].isEmpty() && (c == Esito || c == StatoPec || c == Destinatari || c == File)) {
                item->setToolTip(testi[c]);
            }
            m_modello->setItem(r, c, item);
        }
    }
    if (!m_invii.isEmpty()) GridStorico->selectRow(0);
    aggiornaBottone();
    emit righeCambiate(righe());
}

int StoricoComunicazioni::rigaScelta() const
{
    const QModelIndexList scelte = GridStorico->selectionModel()->selectedRows();
    return scelte.isEmpty() ? -1 : scelte.first().row();
}

void StoricoComunicazioni::aggiornaBottone()
{
    const int r = rigaScelta();
    BottoneApriPDF->setEnabled(r >= 0 && r < int(m_invii.size()) && !m_invii[r].file.trimmed().isEmpty());
    BottoneApriRicevuta->setEnabled(r >= 0 && r < int(m_ricevute.size()) && !m_ricevute[r].isEmpty());
}

void StoricoComunicazioni::BottoneApriRicevutaClick()
{
    const int r = rigaScelta();
    if (r < 0 || r >= int(m_ricevute.size()) || m_ricevute[r].isEmpty()) return;
    QString radice;
    try {
        radice = sz::paths::dataRoot();
    } catch (const sz::Error& e) {
        sz::ui::showError(this, e.message());
        return;
    }
    QString errore;
    const QString eml = sz::pec::ricevutaDaAprire(m_ricevute[r], radice, &errore);
    if (eml.isEmpty())
        sz::ui::showWarning(this, errore);
    else
        sz::ui::openLocation(eml);
}

void StoricoComunicazioni::BottoneApriPDFClick()
{
    const int r = rigaScelta();
    if (r < 0 || r >= int(m_invii.size()) || m_invii[r].file.trimmed().isEmpty()) return;
    QString radice;
    try {
        radice = sz::paths::dataRoot();
    } catch (const sz::Error& e) {
        sz::ui::showError(this, e.message());
        return;
    }
    QString errore;
    const QString pdf = sz::invii::pdfDaAprire(radice, m_invii[r].file, &errore);
    if (pdf.isEmpty())
        sz::ui::showWarning(this, errore);
    else
        sz::ui::openLocation(pdf);
}
