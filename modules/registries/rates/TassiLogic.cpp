#include "TassiLogic.h"

#include "scadenzio/Dates.h"

namespace tassi {

QString testoTasso(int decimillesimi)
{
    const bool negativo = decimillesimi < 0;
    const qint64 v = negativo ? -qint64(decimillesimi) : qint64(decimillesimi);
    QString decimali = QStringLiteral("%1").arg(v % 10000, 4, 10, QLatin1Char('0'));
    while (decimali.size() > 2 && decimali.endsWith(QLatin1Char('0')))
        decimali.chop(1);
    return (negativo ? QStringLiteral("-") : QString()) + QString::number(v / 10000) + QLatin1Char(',') + decimali;
}

std::optional<int> leggiTasso(const QString& testo)
{
    QString t = testo.trimmed();
    t.remove(QLatin1Char('%'));
    t = t.trimmed();
    t.replace(QLatin1Char('.'), QLatin1Char(','));
    const qsizetype virgola = t.indexOf(QLatin1Char(','));
    const QString intera = virgola < 0 ? t : t.left(virgola);
    const QString decimali = virgola < 0 ? QString() : t.mid(virgola + 1);
    if (intera.isEmpty() || intera.size() > 2 || decimali.size() > 4 || (virgola >= 0 && decimali.isEmpty()))
        return std::nullopt;
    for (const QString& parte : {intera, decimali})
        for (const QChar c : parte)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
    return intera.toInt() * 10000 + decimali.leftJustified(4, QLatin1Char('0')).toInt();
}

QString nomeTipo(const QString& tipo)
{
    if (tipo == QLatin1String("MORA"))
        return QStringLiteral("Riferimento BCE (semestre)");
    if (tipo == QLatin1String("LEGALE"))
        return QStringLiteral("Legale (anno)");
    return tipo;
}

QString controlla(const Riga& riga, const QList<Riga>& altre)
{
    if (riga.tipo != QLatin1String("MORA") && riga.tipo != QLatin1String("LEGALE"))
        return QStringLiteral("ATTENZIONE: scegliere il tipo di tasso (riferimento BCE o legale).");
    if (!riga.dal.isValid() || !riga.al.isValid())
        return QStringLiteral("ATTENZIONE: le date \"Dal\" e \"Al\" sono obbligatorie.");
    if (riga.dal > riga.al)
        return QStringLiteral("ATTENZIONE: la data \"Dal\" (%1) è successiva alla data \"Al\" (%2).")
            .arg(sz::dates::toDisplay(riga.dal), sz::dates::toDisplay(riga.al));
    const int anno = riga.dal.year();
    if (riga.tipo == QLatin1String("MORA")) {
        const bool primo = riga.dal == QDate(anno, 1, 1) && riga.al == QDate(anno, 6, 30);
        const bool secondo = riga.dal == QDate(anno, 7, 1) && riga.al == QDate(anno, 12, 31);
        if (!primo && !secondo)
            return QStringLiteral("ATTENZIONE: il tasso di riferimento BCE vale per un semestre intero: dal 01/01 "
                                  "al 30/06 oppure dal 01/07 al 31/12 dello stesso anno.");
    } else if (riga.dal != QDate(anno, 1, 1) || riga.al != QDate(anno, 12, 31)) {
        return QStringLiteral("ATTENZIONE: il tasso legale vale per un anno intero: dal 01/01 al 31/12 dello stesso "
                              "anno.");
    }
    for (const Riga& a : altre) {
        if (a.id == riga.id && riga.id != 0)
            continue;
        if (a.tipo != riga.tipo || !a.dal.isValid() || !a.al.isValid())
            continue;
        if (a.dal <= riga.al && riga.dal <= a.al)
            return QStringLiteral("ATTENZIONE: il periodo dal %1 al %2 si sovrappone a quello di un altro tasso dello "
                                  "stesso tipo (dal %3 al %4). Modificare quella riga invece di aggiungerne una "
                                  "nuova.")
                .arg(sz::dates::toDisplay(riga.dal), sz::dates::toDisplay(riga.al), sz::dates::toDisplay(a.dal),
                     sz::dates::toDisplay(a.al));
    }
    return {};
}

} // namespace tassi
