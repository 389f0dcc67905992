#include "BenchData.h"

#include "scadenzio/Money.h"

#include <QDate>
#include <QRandomGenerator>
#include <QStringList>

using namespace sz;
using namespace sz::db;

const char* const creaCrediti = R"(CREATE TABLE t_crediti (
    ID INTEGER PRIMARY KEY AUTOINCREMENT, NumeroFattura VARCHAR(255), DataFattura DATETIME,
    Scadenza DATETIME, Importo CURRENCY, Incassato CURRENCY, Residuo CURRENCY, DataIncasso VARCHAR(255),
    Note VARCHAR(255), Pagato VARCHAR(5), ModalitaPagamento VARCHAR(255), Banca VARCHAR(255),
    Preavviso DATETIME, Sollecito1 DATETIME, Sollecito2 DATETIME, Sollecito3 DATETIME,
    DestinatarioFattura VARCHAR(255), Cliente VARCHAR(255), Stato VARCHAR(6), ImportoTotale CURRENCY))";

void riempiCrediti(Connection& conn, int righe)
{
    QRandomGenerator rng(20260307);
    static const QStringList cognomi = {"ROSSI",   "BIANCHI",  "FERRARI", "ESPOSITO", "ROMANO", "COLOMBO",
                                        "RICCI",   "MARINO",   "GRECO",   "BRUNO",    "GALLO",  "CONTI",
                                        "DE LUCA", "MANCINI",  "COSTA",   "GIORDANO", "RIZZO",  "LOMBARDI",
                                        "MORETTI", "D'ANGELO", "FONTANA", "SANTORO"};
    static const QStringList forme = {
        "S.R.L.",          "S.P.A.",           "& FIGLI S.N.C.",   "COSTRUZIONI S.R.L.",
        "IMPIANTI S.A.S.", "TRASPORTI S.R.L.", "STUDIO ASSOCIATO", "CONDOMINIO VIA VERDI"};
    static const QStringList modi = {"BONIFICO", "RI.BA.", "R.D."};
    static const QStringList banche = {"INTESA SANPAOLO", "UNICREDIT", "BPER BANCA", "CREDEM"};
    static const QStringList note = {
        "", "", "RATEIZZATO", "SOLLECITATO AL TELEFONO", "CONTESTAZIONE IN CORSO", "PROMESSA DI PAGAMENTO"};
    QStringList clienti;
    for (int i = 0; i < 700; ++i)
        clienti << cognomi[rng.bounded(cognomi.size())] + QLatin1Char(' ') + forme[rng.bounded(forme.size())];

    Transaction tx(conn);
    Statement ins(
        conn,
        QStringLiteral(
            "INSERT INTO t_crediti (NumeroFattura, DataFattura, Scadenza, Importo, Incassato, Residuo, "
            "DataIncasso, Note, "
            "Pagato, ModalitaPagamento, Banca, Preavviso, Sollecito1, DestinatarioFattura, Cliente, Stato, "
            "ImportoTotale) "
            "VALUES (:n, :d, :s, :i, :inc, :r, :di, :note, :p, :m, :b, :pre, :s1, :dest, :c, :st, :t)"));
    const QDate base(2019, 1, 1);
    int riga = 0;
    for (int doc = 0; riga < righe; ++doc) {
        const QDate data = base.addDays(rng.bounded(2600));
        const int rate = rng.bounded(10) < 8 ? 1 : 3;
        const Money importo = Money::fromCents(qint64(rng.bounded(5000, 1500000)));
        const QString cliente = clienti[rng.bounded(clienti.size())];
        const bool chiuso = rng.bounded(100) < 55;
        for (int r = 0; r < rate && riga < righe; ++r, ++riga) {
            const QDate scad = data.addMonths(r + 1);
            const Money incassato = chiuso ? importo : Money();
            const bool sollecitato = !chiuso && rng.bounded(3) == 0;
            ins.run(
                {{"n",
                  QStringLiteral("FT %1/%2").arg(doc % 9000 + 1, 4, 10, QLatin1Char('0')).arg(data.year())},
                 {"d", data},
                 {"s", scad},
                 {"i", QVariant::fromValue(importo)},
                 {"inc", QVariant::fromValue(incassato)},
                 {"r", QVariant::fromValue(importo - incassato)},
                 {"di", chiuso ? QVariant(scad.toString("dd/MM/yyyy") + " (" + importo.toPlain() + " €)")
                               : QVariant()},
                 {"note", note[rng.bounded(note.size())]},
                 {"p", chiuso ? "SI" : "NO"},
                 {"m", modi[rng.bounded(modi.size())]},
                 {"b", banche[rng.bounded(banche.size())]},
                 {"pre", sollecitato ? QVariant(scad.addDays(5)) : QVariant()},
                 {"s1", sollecitato ? QVariant(scad.addDays(20)) : QVariant()},
                 {"dest", cliente},
                 {"c", cliente},
                 {"st", chiuso ? "CHIUSA" : "APERTA"},
                 {"t", QVariant::fromValue(Money::fromRaw(importo.raw() * rate))}});
        }
    }
    tx.commit();
}

