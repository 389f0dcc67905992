#include "EvidenzeElenco.h"

#include "CreditiLogic.h"
#include "scadenzio/Dataset.h"
#include "scadenzio/DatasetModel.h"
#include "scadenzio/Widgets.h"

#include <QHelpEvent>
#include <QToolTip>

using namespace sz::credits;

namespace {

sz::ui::CellColours coloriCella(Evidenza evidenza, bool selected)
{
    using sz::ui::CellMark;
    if (evidenza == Evidenza::Incoerente) {
        // Orange, apart from the red of what is due and the green of what came in.
        sz::ui::CellColours c;
        c.text = selected ? QColor(255, 255, 255) : QColor(122, 62, 0);
        c.background = selected ? QColor(214, 110, 0) : QColor(255, 214, 153);
        return c;
    }
    return sz::ui::markColours(evidenza == Evidenza::ResiduoAperto ? CellMark::Alarm
                               : evidenza == Evidenza::Incassato   ? CellMark::Success
                                                                   : CellMark::None,
                               selected);
}

sz::ui::CellColours coloriSospensione(bool selected)
{
    sz::ui::CellColours c;
    c.text = selected ? QColor(255, 255, 255) : QColor(179, 89, 0);
    if (selected) c.background = QColor(214, 110, 0);
    return c;
}

} // namespace

EvidenzeElenco::EvidenzeElenco(sz::ui::Grid* grid, sz::db::Dataset* crediti)
    : QObject(grid), m_grid(grid), m_crediti(crediti)
{
    grid->setColourRule([this](int row, const QString& field, bool selected) {
        auto* ds = m_crediti;
        if (field == QLatin1String("Sospensione")) {
            if (ds->valueAt(row, ds->fieldIndex(QStringLiteral("Sospensione"))).toString().isEmpty())
                return sz::ui::CellColours{};
            return coloriSospensione(selected);
        }
        if (field != QLatin1String("ImportoResiduo") && field != QLatin1String("ImportoIncassato"))
            return sz::ui::CellColours{};
        auto v = [&](const char* nome) { return ds->valueAt(row, ds->fieldIndex(QLatin1String(nome))); };
        return coloriCella(evidenzaCella(field, v("Importo"), v("Incassato"), v("Residuo"), v("Pagato")),
                           selected);
    });
    grid->viewport()->installEventFilter(this);
}

QString EvidenzeElenco::suggerimento(int riga, const QString& campo) const
{
    auto* ds = m_crediti;
    if (riga < 0 || riga >= ds->recordCount()) return {};
    auto v = [&](const char* nome) { return ds->valueAt(riga, ds->fieldIndex(QLatin1String(nome))); };
    if (campo == QLatin1String("ImportoResiduo") && residuoIncoerente(v("Residuo"), v("Pagato")))
        return AvvisoIncoerente;
    if (campo == QLatin1String("Sospensione") && !v("Sospensione").toString().isEmpty())
        return v("MotivoSospeso").toString().trimmed();
    return {};
}

bool EvidenzeElenco::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip || watched != m_grid->viewport())
        return QObject::eventFilter(watched, event);
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex cella = m_grid->indexAt(help->pos());
    QString testo;
    if (cella.isValid()) {
        const int f = m_grid->datasetModel()->fieldOf(cella.column());
        if (f >= 0) testo = suggerimento(cella.row(), m_crediti->fieldName(f));
    }
    if (testo.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), testo, m_grid->viewport(), m_grid->visualRect(cella));
    }
    return true;
}
