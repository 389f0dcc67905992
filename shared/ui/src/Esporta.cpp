#include "scadenzio/Esporta.h"
#include "scadenzio/DatasetModel.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"
#include "scadenzio/Widgets.h"

#include <QAbstractProxyModel>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

namespace sz::ui {

namespace {

const QString FiltroXlsx = QStringLiteral("Cartella di lavoro Excel (*.xlsx)");
const QString FiltroCsv = QStringLiteral("CSV per Excel/LibreOffice (*.csv)");
const char* const ProprietaNome = "szNomeEsportazione";

std::function<QString(const QString&, QString*)>& sceltaFile()
{
    static std::function<QString(const QString&, QString*)> scelta;
    return scelta;
}

// The folder and the kind last chosen, so that a clerk exporting several lists in a row
// is not sent back to the data root every time.
QString& ultimaCartella()
{
    static QString cartella;
    return cartella;
}

QString& ultimoFiltro()
{
    static QString filtro = FiltroXlsx;
    return filtro;
}

// The model that holds the values: the grid's own, or the one under its proxies.
const db::DatasetModel* modelloDataset(const QAbstractItemModel* m)
{
    while (m) {
        if (const auto* d = qobject_cast<const db::DatasetModel*>(m)) return d;
        const auto* proxy = qobject_cast<const QAbstractProxyModel*>(m);
        if (!proxy) return nullptr;
        m = proxy->sourceModel();
    }
    return nullptr;
}

QModelIndex sorgente(const QAbstractItemModel* m, QModelIndex i)
{
    while (m && !qobject_cast<const db::DatasetModel*>(m)) {
        const auto* proxy = qobject_cast<const QAbstractProxyModel*>(m);
        if (!proxy) break;
        i = proxy->mapToSource(i);
        m = proxy->sourceModel();
    }
    return i;
}

// What a cell holds as the grid shows it. Over a dataset the value as read (an amount, a
// date) as long as the grid shows it as the list formats it; a column a frame shows in
// words of its own (a mark, a state) goes out as those words. Elsewhere the value shown,
// which a QStandardItem keeps with its own type; a check box as SI/NO.
QVariant valoreMostrato(const QModelIndex& i, const QModelIndex& inDataset)
{
    const QVariant mostrato = i.data(Qt::DisplayRole);
    if (inDataset.isValid()) {
        const QVariant letto = inDataset.data(Qt::UserRole);
        if (!letto.isValid() || letto.isNull()) return mostrato.toString().isEmpty() ? QVariant() : mostrato;
        if (mostrato.toString() == db::DatasetModel::displayText(letto)) return letto;
        return mostrato;
    }
    if ((!mostrato.isValid() || mostrato.toString().isEmpty())) {
        const QVariant spunta = i.data(Qt::CheckStateRole);
        if (spunta.isValid())
            return spunta.toInt() == Qt::Unchecked ? QStringLiteral("NO") : QStringLiteral("SI");
    }
    return mostrato;
}

QString nomeProposto(const QTableView* grid)
{
    QString nome = grid->property(ProprietaNome).toString();
    for (const QWidget* w = grid; nome.isEmpty() && w; w = w->parentWidget()) {
        if (const auto* frame = qobject_cast<const ModuleFrame*>(w))
            nome = frame->heading()->titleLabel()->text();
    }
    QString pulito;
    for (const QChar c : nome) {
        if (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c))
            pulito += QLatin1Char(' ');
        else
            pulito += c;
    }
    pulito = pulito.simplified();
    while (pulito.startsWith(QLatin1Char('.')))
        pulito.remove(0, 1);
    return pulito.isEmpty() ? QStringLiteral("Elenco") : pulito.left(120);
}

QString cartellaProposta()
{
    if (!ultimaCartella().isEmpty() && QFileInfo(ultimaCartella()).isDir()) return ultimaCartella();
    try {
        const QString root = paths::dataRoot();
        if (QFileInfo(root).isDir()) return root;
    } catch (const sz::Error&) {
    }
    return QDir::homePath();
}

// The file the user wants, with the extension of the chosen kind when none of ours was
// typed; empty when the user gave up.
QString chiediFile(QTableView* grid, QWidget* parent)
{
    const QString estensione = ultimoFiltro() == FiltroCsv ? QStringLiteral(".csv") : QStringLiteral(".xlsx");
    const QString proposto = cartellaProposta() + QLatin1Char('/') + nomeProposto(grid) + estensione;
    QString filtro = ultimoFiltro();
    QString file;
    bool chiestoSostituire = false;
    if (sceltaFile()) {
        file = sceltaFile()(proposto, &filtro);
    } else {
        file = QFileDialog::getSaveFileName(parent, QStringLiteral("Esporta l'elenco"), proposto,
                                            FiltroXlsx + QStringLiteral(";;") + FiltroCsv, &filtro);
        chiestoSostituire = true; // the dialog asks before replacing a file
    }
    if (file.isEmpty()) return {};
    const QString suffisso = QFileInfo(file).suffix().toLower();
    if (suffisso != QLatin1String("xlsx") && suffisso != QLatin1String("csv")) {
        file += filtro == FiltroCsv ? QStringLiteral(".csv") : QStringLiteral(".xlsx");
        chiestoSostituire = false;
    }
    if (!chiestoSostituire && QFileInfo::exists(file) &&
        !confirm(
            parent,
            QStringLiteral("Il file \"%1\" esiste già: sostituirlo?").arg(QDir::toNativeSeparators(file))))
        return {};
    ultimoFiltro() = file.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? FiltroCsv : FiltroXlsx;
    ultimaCartella() = QFileInfo(file).absolutePath();
    return file;
}

} // namespace

esporta::Tabella tabellaDaGriglia(const QTableView* grid)
{
    esporta::Tabella t;
    const QAbstractItemModel* m = grid ? grid->model() : nullptr;
    if (!m) return t;
    const db::DatasetModel* dataset = modelloDataset(m);
    const QHeaderView* colonne = grid->horizontalHeader();
    const QHeaderView* righe = grid->verticalHeader();

    QVector<int> logiche;
    for (int v = 0; v < colonne->count(); ++v) {
        const int c = colonne->logicalIndex(v);
        if (c < 0 || grid->isColumnHidden(c)) continue;
        logiche << c;
        t.titoli << m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    }
    const int nRighe = m->rowCount();
    t.righe.reserve(nRighe);
    for (int v = 0; v < nRighe; ++v) {
        const int r = righe->count() == nRighe ? righe->logicalIndex(v) : v;
        if (r < 0 || grid->isRowHidden(r)) continue;
        QVector<QVariant> riga;
        riga.reserve(logiche.size());
        for (const int c : logiche) {
            const QModelIndex i = m->index(r, c);
            riga << valoreMostrato(i, dataset ? sorgente(m, i) : QModelIndex());
        }
        t.righe << std::move(riga);
    }
    t.tipi.reserve(logiche.size());
    QList<QVariant> colonna;
    for (int k = 0; k < logiche.size(); ++k) {
        colonna.clear();
        colonna.reserve(t.righe.size());
        for (const auto& riga : std::as_const(t.righe))
            colonna << riga[k];
        t.tipi << esporta::tipoDi(colonna);
    }
    return t;
}

int esportaGriglia(QTableView* grid, QWidget* parent)
{
    if (!grid) return -1;
    const QString file = chiediFile(grid, parent);
    if (file.isEmpty()) return -1;
    int scritte = -1;
    try {
        WaitCursor attesa;
        const esporta::Tabella t = tabellaDaGriglia(grid);
        esporta::scrivi(file, t);
        scritte = int(t.righe.size());
    } catch (const sz::Error& e) {
        showWarning(parent, e.message());
        return -1;
    } catch (const std::bad_alloc&) {
        showWarning(parent, QStringLiteral("Impossibile scrivere il file \"%1\": memoria insufficiente")
                                .arg(QDir::toNativeSeparators(file)));
        return -1;
    }
    showMessage(
        parent,
        scritte == 1
            ? QStringLiteral("Esportata 1 riga in %1.").arg(QDir::toNativeSeparators(file))
            : QStringLiteral("Esportate %1 righe in %2.").arg(scritte).arg(QDir::toNativeSeparators(file)));
    return scritte;
}

QToolButton* pulsanteEsporta(QTableView* grid, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QStringLiteral("BottoneEsporta"));
    b->setText(QStringLiteral("Esporta…"));
    b->setToolTip(QStringLiteral("Esporta le righe mostrate in un file Excel (.xlsx) o CSV"));
    b->setIcon(QApplication::style()->standardIcon(QStyle::SP_DialogSaveButton));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setCursor(Qt::PointingHandCursor);
    QPointer<QTableView> g(grid);
    QObject::connect(b, &QToolButton::clicked, b, [b, g] {
        if (g) esportaGriglia(g, b->window());
    });
    return b;
}

void impostaNomeEsportazione(QTableView* grid, const QString& nome)
{
    if (grid) grid->setProperty(ProprietaNome, nome);
}

void impostaSceltaFileEsportazione(std::function<QString(const QString&, QString*)> scelta)
{
    sceltaFile() = std::move(scelta);
}

} // namespace sz::ui
