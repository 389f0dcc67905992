#include "CliDunning.h"
#include "CliSql.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Interessi.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Money.h"
#include "scadenzio/Orologio.h"
#include "scadenzio/Paths.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace sz::cli {

namespace {

const QString usoInteressi =
    QStringLiteral("Uso:\n  scadenzio-cli interest ID... [--al gg/mm/aaaa]");

const QStringList titoli = {QStringLiteral("ID"),     QStringLiteral("Cliente"), QStringLiteral("NumeroFattura"),
                            QStringLiteral("DataFattura"), QStringLiteral("Scadenza"), QStringLiteral("Voce"), QStringLiteral("Dal"),
                            QStringLiteral("Al"),     QStringLiteral("Giorni"), QStringLiteral("Tasso"),
                            QStringLiteral("Importo")};

QString campo(const QString& t)
{
    return invii::unaRiga(t);
}

QString data(const QDate& d)
{
    return d.isValid() ? dates::toDisplay(d) : QString();
}

QString importo(const Money& m)
{
    return formatField(QVariant::fromValue(m));
}

QDate leggiData(const QVariant& v)
{
    if (v.userType() == QMetaType::QDate)
        return v.toDate();
    return dates::fromIso(v.toString());
}

// The same client name written with other capitals or blanks around is the same client.
QString chiave(const QString& nome)
{
    return nome.trimmed().toCaseFolded();
}

struct Credito
{
    qint64 id = 0;
    QString cliente, numero;
    QString dataTesto; // DataFattura as stored: with the number, it names the document
    QDate dataFattura, scadenza;
    Money residuo;
};

} // namespace

int runInterest(const QStringList& args, const Output& io)
{
    try {
        QList<qint64> ids;
        QSet<qint64> visti;
        QDate al = oggi();
        bool conAl = false;
        for (int i = 0; i < args.size(); ++i) {
            const QString& a = args[i];
            if (a == QLatin1String("--al") && i + 1 < args.size() && !conAl) {
                conAl = true;
                const QString t = args[++i];
                al = dates::fromDisplay(t.trimmed());
                if (!al.isValid()) {
                    io.err(QStringLiteral("ATTENZIONE: la data \"%1\" di --al non è una data valida (gg/mm/aaaa).")
                               .arg(campo(t)));
                    return 2;
                }
                continue;
            }
            if (a.startsWith(QLatin1String("--"))) {
                io.err(usoInteressi);
                return 2;
            }
            // "12,15 18" as the other credit commands take them.
            for (const QString& parte : a.split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts)) {
                bool ok = false;
                const qint64 id = parte.toLongLong(&ok);
                if (!ok || id <= 0) {
                    io.err(QStringLiteral("ATTENZIONE: \"%1\" non è un ID di credito.").arg(campo(parte)));
                    return 2;
                }
                // A credit named twice is counted once, or the totals would double it.
                if (!visti.contains(id)) {
                    visti.insert(id);
                    ids << id;
                }
            }
        }
        if (ids.isEmpty()) {
            io.err(usoInteressi);
            return 2;
        }

        db::Connection conn(paths::LoadConnection());
        QList<Credito> crediti;
        for (const qint64 id : ids) {
            const auto r = conn.query(QStringLiteral("SELECT ID, Cliente, NumeroFattura, DataFattura, Scadenza, Residuo "
                                                     "FROM t_crediti WHERE ID = :ID"),
                                      {{QStringLiteral("ID"), id}});
            if (r.isEmpty()) {
                io.err(QStringLiteral("ATTENZIONE: il credito con ID %1 non esiste.").arg(id));
                return 2;
            }
            const auto& row = r.rows.first();
            Credito c;
            c.id = id;
            c.cliente = row[1].toString();
            c.numero = row[2].toString();
            c.dataTesto = row[3].userType() == QMetaType::QDate ? dates::toIso(row[3].toDate()) : row[3].toString();
            c.dataFattura = leggiData(row[3]);
            c.scadenza = leggiData(row[4]);
            if (row[5].userType() == qMetaTypeId<Money>())
                c.residuo = row[5].value<Money>();
            crediti << c;
        }

        QHash<QString, interessi::TipoCliente> tipi;
        if (conn.tableColumns(QStringLiteral("t_clienti")).size() > 0) {
            bool conTipo = false;
            for (const auto& col : conn.tableColumns(QStringLiteral("t_clienti")))
                conTipo = conTipo || col.name.compare(QLatin1String("TipoCliente"), Qt::CaseInsensitive) == 0;
            if (conTipo) {
                const auto r =
                    conn.query(QStringLiteral("SELECT RagioneSociale, TipoCliente FROM t_clienti ORDER BY ID"));
                for (const auto& row : r.rows) {
                    const QString k = chiave(row[0].toString());
                    if (!tipi.contains(k))
                        tipi.insert(k, interessi::tipoCliente(row[1].toString()));
                }
            }
        }
        const QList<interessi::Tasso> tassi = interessi::leggiTassi(conn);

        QString testo = titoli.join(QLatin1Char('\t')) + QLatin1Char('\n');
        QStringList mancanti;
        QSet<QString> documenti;
        Money totaleResiduo, totaleInteressi, totaleIndennizzi;
        for (const Credito& c : crediti) {
            const auto tipo = tipi.value(chiave(c.cliente), interessi::TipoCliente::Impresa);
            const QString inizio = QStringList{QString::number(c.id), campo(c.cliente), campo(c.numero),
                                               data(c.dataFattura), data(c.scadenza)}
                                       .join(QLatin1Char('\t'));
            const auto riga = [&](const QString& voce, const QDate& dal, const QDate& fino, const QString& giorni,
                                  const QString& tasso, const QString& somma) {
                testo += inizio + QLatin1Char('\t') +
                         QStringList{voce, data(dal), data(fino), giorni, tasso, somma}.join(QLatin1Char('\t')) +
                         QLatin1Char('\n');
            };
            riga(QStringLiteral("Residuo"), QDate(), QDate(), QString(), QString(), importo(c.residuo));
            totaleResiduo += c.residuo;

            const auto calcolo = interessi::calcola(tassi, tipo, c.residuo, c.scadenza, c.dataFattura, al);
            if (!calcolo.calcolato) {
                if (!mancanti.contains(calcolo.mancante))
                    mancanti << calcolo.mancante;
                riga(QStringLiteral("Interessi"), QDate(), QDate(), QString(), QString(), QString());
            } else {
                for (const auto& p : calcolo.periodi)
                    riga(QStringLiteral("Periodo"), p.dal, p.al, QString::number(p.giorni),
                         interessi::testoTasso(p.tasso), importo(p.interessi));
                int giorni = 0;
                for (const auto& p : calcolo.periodi)
                    giorni += p.giorni;
                riga(QStringLiteral("Interessi"), calcolo.periodi.isEmpty() ? QDate() : calcolo.periodi.first().dal,
                     calcolo.periodi.isEmpty() ? QDate() : calcolo.periodi.last().al,
                     calcolo.periodi.isEmpty() ? QString() : QString::number(giorni), QString(),
                     importo(calcolo.interessi));
                totaleInteressi += calcolo.interessi;
            }

            // Once per document, with its first overdue instalment; a credit without a
            // number is a document of its own.
            const bool scaduto = c.residuo.raw() > 0 && c.scadenza.isValid() && c.scadenza < al;
            const Money dovuto = interessi::indennizzo(tipo, c.dataFattura);
            const QString documento = c.numero.trimmed().isEmpty()
                                          ? QStringLiteral("#") + QString::number(c.id)
                                          : c.numero.trimmed() + QLatin1Char('\n') + c.dataTesto.trimmed();
            if (scaduto && !dovuto.isZero() && !documenti.contains(documento)) {
                documenti.insert(documento);
                riga(QStringLiteral("Indennizzo"), QDate(), QDate(), QString(), QString(), importo(dovuto));
                totaleIndennizzi += dovuto;
            }
        }

        if (!mancanti.isEmpty()) {
            // The credits are listed, but no total that leaves out what could not be counted.
            io.out(testo);
            for (const QString& m : mancanti)
                io.err(m);
            return 1;
        }
        const QString vuoto = QStringLiteral("\t\t\t\t\t");
        const auto totale = [&](const QString& voce, const Money& m) {
            testo += vuoto + voce + QStringLiteral("\t\t") + data(al) + QStringLiteral("\t\t\t") + importo(m) +
                     QLatin1Char('\n');
        };
        totale(QStringLiteral("Totale residuo"), totaleResiduo);
        totale(QStringLiteral("Totale interessi"), totaleInteressi);
        totale(QStringLiteral("Totale indennizzi"), totaleIndennizzi);
        totale(QStringLiteral("Totale dovuto"), totaleResiduo + totaleInteressi + totaleIndennizzi);
        io.out(testo);
        return 0;
    } catch (const Error& e) {
        io.err(e.message());
        return 2;
    }
}

} // namespace sz::cli
