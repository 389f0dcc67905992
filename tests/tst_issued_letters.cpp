// The issued-documents list (each credit by its latest letter, the client, kind and date
// filters, the order kept from one re-read to the next, the printed list) and the test
// letter of the templates, without a window.
#include "ComunicazioniLogic.h"
#include "DocumentiEmessiLogic.h"
#include "DunningData.h"
#include "TestEnv.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Invii.h"
#include "scadenzio/report/Report.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

using dunningdata::Credito;
using namespace sz::issued;
using sz::Money;

namespace {

QString programFolder()
{
    return QStringLiteral(SZ_PROGRAM_DIR "/");
}

qint64 credito(sz::db::Connection& c, const char* numero, const QDate& scadenza, QList<QDate> fasi,
               const char* cliente = "ROSSI SRL", qint64 centesimi = 100000)
{
    Credito k;
    k.numero = QLatin1String(numero);
    k.scadenza = scadenza;
    k.fasi = fasi;
    k.cliente = QString::fromUtf8(cliente);
    k.importo = Money::fromCents(centesimi);
    return dunningdata::aggiungi(c, k);
}

// The numbers of the listed rows, in the list's order.
QStringList elenco(sz::db::Connection& c, const Filtro& f, const QString& ordine = QStringLiteral("Scadenza"))
{
    const Istruzione i = sqlDocumentiEmessi(f, ordine);
    const auto r = c.query(i.sql, i.params);
    QStringList out;
    for (int row = 0; row < r.rows.size(); ++row)
        out << r.value(row, QStringLiteral("NumeroFattura")).toString();
    return out;
}

Filtro marzo2013(Tipo tipo = Tipo::Tutte)
{
    Filtro f;
    f.tipo = tipo;
    f.dal = QDate(2013, 3, 1);
    f.al = QDate(2013, 3, 31);
    return f;
}

// A letter of the log for a credit, as the letters' logic writes it.
void lettera(sz::db::Connection& c, qint64 credito, const char* fase, const QDateTime& quando,
             const char* cliente = "ROSSI SRL", const char* esito = "CREATA", const char* canale = "PDF")
{
    sz::invii::Invio v;
    v.idCredito = credito;
    const auto r = c.query(QStringLiteral("SELECT NumeroFattura, DataFattura FROM t_crediti WHERE ID = :id"),
                           {{QStringLiteral("id"), credito}});
    if (!r.rows.isEmpty()) {
        v.numeroFattura = r.rows[0][0].toString();
        v.dataFattura = r.rows[0][1].toDate();
    }
    v.cliente = QString::fromUtf8(cliente);
    v.fase = QString::fromUtf8(fase);
    v.modo = QStringLiteral("DOCUMENTO");
    v.dataOra = quando;
    v.canale = QString::fromUtf8(canale);
    v.esito = QString::fromUtf8(esito);
    v.destinatari = canale == QByteArray("MAIL") ? QStringLiteral("amministrazione@rossi.it") : QString();
    v.postazione = QStringLiteral("ufficio (mario)");
    sz::invii::registra(c, v);
}

// The log list's rows: "number stage" each, in the list's order.
QStringList comunicazioni(sz::db::Connection& c, const Filtro& f, const QString& ordine = GORDERComunicazioni)
{
    const Istruzione i = sqlComunicazioni(f, ordine);
    const auto r = c.query(i.sql, i.params);
    QStringList out;
    for (int row = 0; row < r.rows.size(); ++row)
        out << r.value(row, QStringLiteral("NumeroFattura")).toString() + QLatin1Char(' ') +
                   r.value(row, QStringLiteral("Comunicazione")).toString();
    return out;
}

QDateTime alle(int anno, int mese, int giorno, int ora = 10, int minuto = 0, int secondo = 0)
{
    return QDateTime(QDate(anno, mese, giorno), QTime(ora, minuto, secondo));
}

} // namespace

class TestIssuedLetters : public QObject
{
    Q_OBJECT

    TestEnv* env = nullptr;
    sz::db::Connection* c = nullptr;

private slots:
    void init()
    {
        inizializza();
        env = new TestEnv;
        c = new sz::db::Connection(env->installDatabase());
    }
    void cleanup()
    {
        delete c;
        delete env;
    }

    // Every row with a letter, by due date; each counted by its latest letter only, in
    // a range and without one.
    void latestLetterDecides()
    {
        const QDate m1(2013, 3, 1), m10(2013, 3, 10), m31(2013, 3, 31), a1(2013, 4, 1), a5(2013, 4, 5);
        credito(*c, "SOLO1MARZO", QDate(2013, 2, 20), {m1});
        credito(*c, "APRILE", QDate(2013, 2, 10), {m1, a1});
        credito(*c, "PREAVVISO_POI_SOLL", QDate(2013, 2, 5), {m10, a5});
        credito(*c, "ULTIMO31", QDate(2013, 2, 25), {m1, m1, m31});
        credito(*c, "TERZO", QDate(2013, 1, 30), {m1, m1, m1, m10});
        credito(*c, "MAI", QDate(2013, 1, 1), {});

        QCOMPARE(elenco(*c, Filtro()),
                 (QStringList{"TERZO", "PREAVVISO_POI_SOLL", "APRILE", "SOLO1MARZO", "ULTIMO31"}));
        QCOMPARE(elenco(*c, marzo2013()), (QStringList{"TERZO", "SOLO1MARZO", "ULTIMO31"}));
        QCOMPARE(elenco(*c, marzo2013(Tipo::Preavviso)), QStringList{"SOLO1MARZO"});
        QCOMPARE(elenco(*c, marzo2013(Tipo::Sollecito1)), QStringList());
        QCOMPARE(elenco(*c, marzo2013(Tipo::Sollecito2)), QStringList{"ULTIMO31"});
        QCOMPARE(elenco(*c, marzo2013(Tipo::Sollecito3)), QStringList{"TERZO"});

        Filtro soloTipo;
        soloTipo.tipo = Tipo::Preavviso;
        QCOMPARE(elenco(*c, soloTipo), QStringList{"SOLO1MARZO"}); // not the one whose reminder followed
        soloTipo.tipo = Tipo::Sollecito1;
        QCOMPARE(elenco(*c, soloTipo), (QStringList{"PREAVVISO_POI_SOLL", "APRILE"}));

        Filtro unGiorno;
        unGiorno.dal = unGiorno.al = m31;
        QCOMPARE(elenco(*c, unGiorno), QStringList{"ULTIMO31"});
        unGiorno.dal = unGiorno.al = m1;
        QCOMPARE(elenco(*c, unGiorno), QStringList{"SOLO1MARZO"});

        // Half a range is no range: only the kind and the client count.
        Filtro soloDal;
        soloDal.dal = QDate(2030, 1, 1);
        QCOMPARE(elenco(*c, soloDal).size(), 5);

        // The bounds travel as parameters, never inside the statement.
        const Istruzione i = sqlDocumentiEmessi(marzo2013(), GORDER);
        QVERIFY(!i.sql.contains(QStringLiteral("2013")));
        QVERIFY(i.params.contains(qMakePair(QStringLiteral("Dal"), QVariant(QDate(2013, 3, 1)))));
        QVERIFY(i.params.contains(qMakePair(QStringLiteral("Al"), QVariant(QDate(2013, 3, 31)))));

        // The derived columns: the latest letter's name and its date, as a date.
        const auto r = c->query(i.sql, i.params);
        QCOMPARE(r.value(0, QStringLiteral("DocumentoEmesso")).toString(), QStringLiteral("3° SOLLECITO"));
        QCOMPARE(r.value(0, QStringLiteral("DataEmissione")), QVariant(m10));
        QCOMPARE(r.value(2, QStringLiteral("DocumentoEmesso")).toString(), QStringLiteral("2° SOLLECITO"));
    }

    // Both days of a range count, for every kind of latest letter: a first reminder
    // issued on the range's last day is listed, one issued the day after is not.
    void rangeBoundsCountTheirDays()
    {
        const QDate dal(2013, 3, 1), al(2013, 3, 31), prima(2013, 2, 28), dopo(2013, 4, 1), f(2013, 1, 15);
        credito(*c, "P_DAL", f, {dal});
        credito(*c, "P_AL", f, {al});
        credito(*c, "P_DOPO", f, {dopo});
        credito(*c, "S1_DAL", f, {f, dal});
        credito(*c, "S1_AL", f, {f, al});
        credito(*c, "S1_PRIMA", f, {f, prima});
        credito(*c, "S1_DOPO", f, {f, dopo});
        credito(*c, "S2_AL", f, {f, f, al});
        credito(*c, "S2_DOPO", f, {f, f, dopo});
        credito(*c, "S3_DAL", f, {f, f, f, dal});
        credito(*c, "S3_AL", f, {f, f, f, al});
        credito(*c, "S3_PRIMA", f, {f, f, f, prima});
        auto ordinati = [](QStringList l) {
            l.sort();
            return l;
        };
        QCOMPARE(ordinati(elenco(*c, marzo2013(Tipo::Sollecito1))), (QStringList{"S1_AL", "S1_DAL"}));
        QCOMPARE(ordinati(elenco(*c, marzo2013(Tipo::Preavviso))), (QStringList{"P_AL", "P_DAL"}));
        QCOMPARE(ordinati(elenco(*c, marzo2013(Tipo::Sollecito2))), QStringList{"S2_AL"});
        QCOMPARE(ordinati(elenco(*c, marzo2013(Tipo::Sollecito3))), (QStringList{"S3_AL", "S3_DAL"}));
        QCOMPARE(ordinati(elenco(*c, marzo2013())),
                 (QStringList{"P_AL", "P_DAL", "S1_AL", "S1_DAL", "S2_AL", "S3_AL", "S3_DAL"}));
        // A range of one day, the last of the month.
        Filtro giorno;
        giorno.tipo = Tipo::Sollecito1;
        giorno.dal = giorno.al = al;
        QCOMPARE(elenco(*c, giorno), QStringList{"S1_AL"});
    }

    // The client text is a contains-match ignoring case, quotes and all, and combines
    // with the kind and range.
    void clientFilter()
    {
        const QDate m1(2013, 3, 1);
        credito(*c, "1", QDate(2013, 2, 1), {m1}, "D'ANGELO SAS");
        credito(*c, "2", QDate(2013, 2, 2), {m1}, "ROSSI SRL");
        credito(*c, "3", QDate(2013, 2, 3), {m1, m1}, "ANGELONI SPA");
        Filtro f;
        f.cliente = QStringLiteral("d'ang");
        QCOMPARE(elenco(*c, f), QStringList{"1"});
        f.cliente = QStringLiteral("angel");
        QCOMPARE(elenco(*c, f), (QStringList{"1", "3"}));
        f.tipo = Tipo::Sollecito1;
        QCOMPARE(elenco(*c, f), QStringList{"3"});
        f.cliente = QStringLiteral("   ");
        f.tipo = Tipo::Tutte;
        QCOMPARE(elenco(*c, f).size(), 3);
        f.cliente = QStringLiteral("x') OR 1=1 --");
        QCOMPARE(elenco(*c, f), QStringList());
    }

    // A sort by title becomes the statement's order: the two derived columns by their
    // expressions, the formatted amounts by value.
    void orderKeptInStatement()
    {
        const QDate m1(2013, 3, 1), m20(2013, 3, 20), a9(2013, 4, 9);
        credito(*c, "A", QDate(2013, 2, 1), {m20}, "ROSSI SRL", 20000);
        credito(*c, "B", QDate(2013, 2, 2), {m1, a9}, "ROSSI SRL", 100000);
        credito(*c, "C", QDate(2013, 2, 3), {m1}, "VERDI SPA", 350);

        QCOMPARE(ordineDaSort(QStringLiteral("DataEmissione DESC")),
                 GExprDataEmissioneORDER + QStringLiteral(" DESC"));
        QCOMPARE(ordineDaSort(QStringLiteral("DocumentoEmesso ASC")),
                 GExprDocumentoEmessoORDER + QStringLiteral(" ASC"));
        QCOMPARE(ordineDaSort(QStringLiteral("Cliente DESC")), QStringLiteral("Cliente DESC"));
        QVERIFY(!GExprDataEmissioneORDER.contains(QStringLiteral(" AS ")));
        QVERIFY(GExprDataEmissione.endsWith(QStringLiteral(" AS DataEmissione")));

        Filtro rossi;
        rossi.cliente = QStringLiteral("rossi");
        QCOMPARE(elenco(*c, rossi, ordineDaSort(QStringLiteral("DataEmissione DESC"))),
                 (QStringList{"B", "A"}));
        QCOMPARE(elenco(*c, Filtro(), ordineDaSort(QStringLiteral("DataEmissione ASC"))),
                 (QStringList{"C", "A", "B"}));
        QCOMPARE(elenco(*c, Filtro(), ordineDaSort(QStringLiteral("DocumentoEmesso DESC"))),
                 (QStringList{"A", "C", "B"}));
        // € 3,50 < € 200,00 < € 1.000,00, whatever their texts say.
        QCOMPARE(elenco(*c, Filtro(), ordineDaSort(QStringLiteral("ImportoParziale ASC"))),
                 (QStringList{"C", "A", "B"}));
        QCOMPARE(elenco(*c, Filtro(), ordineDaSort(QStringLiteral("TotaleFattura DESC"))),
                 (QStringList{"B", "A", "C"}));
    }

    // The printed list: subject, count, sender, the table over several pages with its
    // header on each, page numbers; the rows as given, in their order.
    void printedList()
    {
        dunningdata::societa(*c);
        for (int i = 1; i <= 7; ++i)
            credito(*c, QByteArray("FT" + QByteArray::number(i) + "/2013").constData(), QDate(2013, 2, i),
                    {QDate(2013, 3, i)});
        const Istruzione i = sqlDocumentiEmessi(marzo2013(), GORDER);
        const auto righeElenco = righe(c->query(i.sql, i.params));
        QCOMPARE(righeElenco.size(), 7);
        QCOMPARE(righeElenco[0].value(QStringLiteral("ImportoParziale")), QStringLiteral("€ 1.000,00"));
        QCOMPARE(righeElenco[0].value(QStringLiteral("DataEmissione")), QStringLiteral("01/03/2013"));
        const auto societa = sz::report::rowValues(c->query(QStringLiteral("SELECT * FROM t_societa")), 0);
        const auto risultato = c->query(i.sql, i.params);
        const Riepilogo totali = riepilogo(risultato, Elenco::Ultime);
        QCOMPARE(totali.righe, 7);
        QCOMPARE(totali.importo, Money::fromCents(700000));
        QCOMPARE(totali.testoTipi(), QStringLiteral("Preavvisi: 7"));
        const sz::report::Filling f = stampa(righeElenco, totali, societa, marzo2013(), QDate(2026, 12, 7),
                                             env->documents() + "/", programFolder());
        QCOMPARE(f.value(QStringLiteral("TotaleDocumenti")), QStringLiteral("7"));
        QCOMPARE(f.value(QStringLiteral("Oggetto")),
                 QStringLiteral("Elenco documenti emessi dal 01/03/2013 al 31/03/2013"));
        QCOMPARE(f.value(QStringLiteral("FaxUtente")), QString(""));
        QCOMPARE(oggetto(Filtro()), QStringLiteral("Elenco documenti emessi"));

        const QString pdf = env->home() + QStringLiteral("/elenco.pdf");
        sz::report::Project p;
        f.applyTo(p);
        p.setOutputFile(pdf);
        p.execute();
        const QString testo = TestEnv::pdfText(pdf);
        QVERIFY2(testo.contains(QStringLiteral("Elenco documenti emessi dal 01/03/2013 al 31/03/2013")),
                 qPrintable(testo));
        QVERIFY(testo.contains(QStringLiteral("Totale documenti: 7")));
        QVERIFY(testo.contains(QStringLiteral("Totale dei crediti elencati")));
        QVERIFY(testo.contains(QStringLiteral("€ 7.000,00")));
        QVERIFY(testo.contains(QStringLiteral("Preavvisi: 7")));
        QVERIFY(testo.contains(QStringLiteral("ARTIGIANA VENETA SNC")));
        QVERIFY(testo.indexOf(QStringLiteral("FT1/2013")) < testo.indexOf(QStringLiteral("FT7/2013")));
        QCOMPARE(TestEnv::pdfPages(pdf), 1);

        // 300 rows: several pages, each with the column titles and its number.
        sz::report::DataView molte;
        for (int n = 0; n < 300; ++n) {
            sz::report::Row r = righeElenco[n % 7];
            r.insert(QStringLiteral("NumeroFattura"), QStringLiteral("R%1").arg(n + 1));
            molte << r;
        }
        const sz::report::Filling lunga = stampa(molte, Riepilogo(), societa, Filtro(), QDate(2026, 12, 7),
                                                 env->documents() + "/", programFolder());
        f.applyTo(p);
        lunga.applyTo(p);
        p.setOutputFile(pdf);
        p.execute();
        const int pagine = TestEnv::pdfPages(pdf);
        QVERIFY2(pagine >= 5 && pagine <= 20, qPrintable(QString::number(pagine)));
        for (int n = 1; n <= pagine; ++n) {
            const QString pagina = TestEnv::pdfText(pdf, n);
            QVERIFY2(pagina.contains(QStringLiteral("Scadenza")) &&
                         pagina.contains(QStringLiteral("Residuo")),
                     qPrintable(QString::number(n)));
            QVERIFY(pagina.contains(QStringLiteral("Pagina %1 di %2").arg(n).arg(pagine)));
        }
        const QString ultima = TestEnv::pdfText(pdf, pagine);
        QVERIFY(ultima.contains(QStringLiteral("R300")));
        QVERIFY(ultima.contains(QStringLiteral("Totale documenti: 300")));
        QVERIFY(TestEnv::pdfText(pdf, 1).contains(QStringLiteral("Elenco documenti emessi")));
    }

    // Every letter of the log: the day of DataOra in the range (both ends whole), the
    // kind by the letter's stage with "IN SOFFERENZA" only under "Tutte", the client of
    // the letter by a bound contains-match, the credit's current amounts beside it.
    void everyLetterOfTheLog()
    {
        const qint64 a = credito(*c, "A", QDate(2013, 1, 10), {}, "ROSSI SRL", 100000);
        const qint64 b = credito(*c, "B", QDate(2013, 1, 20), {}, "D'ANGELO SAS", 25050);
        const qint64 d = credito(*c, "D", QDate(2013, 1, 5), {}, "ROSSI SRL", 5000);
        lettera(*c, a, "PREAVVISO", alle(2013, 2, 28, 23, 59, 59));
        lettera(*c, a, "SOLLECITO1", alle(2013, 3, 1, 0, 0, 0));
        lettera(*c, a, "SOLLECITO2", alle(2013, 3, 15, 9, 30), "ROSSI SRL", "INVIATA", "MAIL");
        lettera(*c, b, "SOLLECITO1", alle(2013, 3, 20, 11, 5), "D'ANGELO SAS", "NON INVIATA: casella piena",
                "MAIL");
        lettera(*c, a, "IN SOFFERENZA", alle(2013, 3, 31, 23, 59, 59));
        lettera(*c, d, "SOLLECITO1", alle(2013, 4, 1, 0, 0, 0));
        // A credit deleted after its letter: the letter stays, its amounts are gone.
        c->exec(QStringLiteral("DELETE FROM t_crediti WHERE ID = :id"), {{QStringLiteral("id"), d}});
        c->exec(QStringLiteral("UPDATE t_crediti SET Residuo = :r WHERE ID = :id"),
                {{QStringLiteral("r"), QVariant::fromValue(Money::fromRaw(4000001))}, {QStringLiteral("id"), a}});

        QCOMPARE(comunicazioni(*c, Filtro()),
                 (QStringList{"A PREAVVISO", "A 1° SOLLECITO", "A 2° SOLLECITO", "B 1° SOLLECITO", "A IN SOFFERENZA",
                              "D 1° SOLLECITO"}));
        QCOMPARE(comunicazioni(*c, marzo2013()),
                 (QStringList{"A 1° SOLLECITO", "A 2° SOLLECITO", "B 1° SOLLECITO", "A IN SOFFERENZA"}));
        QCOMPARE(comunicazioni(*c, marzo2013(Tipo::Sollecito1)), (QStringList{"A 1° SOLLECITO", "B 1° SOLLECITO"}));
        QCOMPARE(comunicazioni(*c, marzo2013(Tipo::Preavviso)), QStringList());
        Filtro f;
        f.tipo = Tipo::Sollecito1;
        QCOMPARE(comunicazioni(*c, f), (QStringList{"A 1° SOLLECITO", "B 1° SOLLECITO", "D 1° SOLLECITO"}));
        Filtro giorno;
        giorno.dal = giorno.al = QDate(2013, 3, 31);
        QCOMPARE(comunicazioni(*c, giorno), QStringList{"A IN SOFFERENZA"});
        Filtro mezzo;
        mezzo.dal = QDate(2013, 3, 16);
        QCOMPARE(comunicazioni(*c, mezzo).size(), 6); // half a range is none

        Filtro cliente;
        cliente.cliente = QStringLiteral("d'ang");
        QCOMPARE(comunicazioni(*c, cliente), QStringList{"B 1° SOLLECITO"});
        cliente.cliente = QStringLiteral("x') OR 1=1 --");
        QCOMPARE(comunicazioni(*c, cliente), QStringList());
        cliente.cliente = QStringLiteral("rossi");
        cliente.tipo = Tipo::Sollecito1;
        QCOMPARE(comunicazioni(*c, cliente), (QStringList{"A 1° SOLLECITO", "D 1° SOLLECITO"}));

        // The row as the grid shows it.
        const Istruzione i = sqlComunicazioni(marzo2013(), GORDERComunicazioni);
        QVERIFY(!i.sql.contains(QStringLiteral("2013")));
        const auto r = c->query(i.sql, i.params);
        const auto viste = righe(r, Elenco::Tutte);
        QCOMPARE(viste.size(), 4);
        QCOMPARE(viste[1].value(QStringLiteral("DataOra")), QStringLiteral("15/03/2013 09:30"));
        QCOMPARE(viste[1].value(QStringLiteral("Canale")), QStringLiteral("MAIL"));
        QCOMPARE(viste[1].value(QStringLiteral("Esito")), QStringLiteral("INVIATA"));
        QCOMPARE(viste[1].value(QStringLiteral("Destinatari")), QStringLiteral("amministrazione@rossi.it"));
        QCOMPARE(viste[1].value(QStringLiteral("Modo")), QStringLiteral("DOCUMENTO"));
        QCOMPARE(viste[1].value(QStringLiteral("ImportoParziale")), QStringLiteral("€ 1.000,00"));
        QCOMPARE(viste[1].value(QStringLiteral("ImportoResiduo")), QStringLiteral("€ 400,00"));
        QCOMPARE(viste[1].value(QStringLiteral("Scadenza")), QStringLiteral("10/01/2013"));
        QCOMPARE(viste[2].value(QStringLiteral("Esito")), QStringLiteral("NON INVIATA: casella piena"));
        QCOMPARE(viste[2].value(QStringLiteral("Cliente")), QStringLiteral("D'ANGELO SAS"));
        const auto tutte = righe(c->query(sqlComunicazioni(Filtro(), GORDERComunicazioni).sql), Elenco::Tutte);
        QCOMPARE(tutte.last().value(QStringLiteral("NumeroFattura")), QStringLiteral("D"));
        QCOMPARE(tutte.last().value(QStringLiteral("ImportoParziale")), QString());
        QCOMPARE(tutte.last().value(QStringLiteral("Scadenza")), QString());

        // Totals exact to the ten-thousandth, each credit once however many letters it
        // had, a deleted credit adding nothing; one count per kind met, in stage order.
        const Riepilogo t = riepilogo(c->query(sqlComunicazioni(Filtro(), GORDERComunicazioni).sql), Elenco::Tutte);
        QCOMPARE(t.righe, 6);
        QCOMPARE(t.importo, Money::fromCents(100000 + 25050));
        QCOMPARE(t.residuo, Money::fromRaw(4000001) + Money::fromCents(25050));
        QCOMPARE(t.testoTipi(), QStringLiteral("Preavvisi: 1 \u2013 1° Solleciti: 3 \u2013 2° Solleciti: 1 "
                                               "\u2013 In sofferenza: 1"));

        // Sorting by a title becomes the statement's order; names not of the list never
        // reach the statement.
        QCOMPARE(comunicazioni(*c, marzo2013(), ordineDaSortComunicazioni(QStringLiteral("DataOraOrdine DESC"))),
                 (QStringList{"A IN SOFFERENZA", "B 1° SOLLECITO", "A 2° SOLLECITO", "A 1° SOLLECITO"}));
        QCOMPARE(comunicazioni(*c, marzo2013(), ordineDaSortComunicazioni(QStringLiteral("Cliente ASC"))).first(),
                 QStringLiteral("B 1° SOLLECITO"));
        QCOMPARE(ordineDaSortComunicazioni(QStringLiteral("ImportoResiduo DESC")), QStringLiteral("c.Residuo DESC"));
        QCOMPARE(ordineDaSortComunicazioni(QStringLiteral("1; DROP TABLE t_invii ASC")), QStringLiteral("i.DataOra"));
    }

    // The subject names the list, the range and every other filter in force; with no
    // kind and no client it stays as it always was.
    // Each certified letter's state from its receipts, on every row of the letter; the
    // other letters none. A letter accepted two days ago and never delivered is flagged.
    void certifiedLettersState()
    {
        const qint64 a = credito(*c, "A", QDate(2013, 1, 10), {});
        const qint64 b = credito(*c, "B", QDate(2013, 1, 10), {});
        const QDateTime ora = QDateTime::currentDateTime();
        const auto pec = [&](qint64 credito, const QString& mid, const QDateTime& quando) {
            sz::invii::Invio v;
            v.idCredito = credito;
            v.cliente = QStringLiteral("ROSSI SRL");
            v.fase = QStringLiteral("SOLLECITO1");
            v.modo = QStringLiteral("CLIENTE");
            v.dataOra = quando;
            v.canale = QStringLiteral("PEC");
            v.destinatari = QStringLiteral("rossi@pec.rossi.it");
            v.messageId = mid;
            v.esito = sz::invii::Inviata;
            sz::invii::registra(*c, v);
        };
        const auto accettata = [&](const QString& mid, const QDateTime& quando) {
            c->exec(QStringLiteral("INSERT INTO t_ricevute (MessageID, Tipo, Destinatario, DataOra, Gestore, Errore, "
                                   "ErroreEsteso, Identificativo, File, Letta) VALUES (:M, 'accettazione', '', :D, "
                                   "'GESTORE', 'nessuno', '', :I, 'x.eml', :D)"),
                    {{QStringLiteral("M"), mid},
                     {QStringLiteral("D"), quando.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
                     {QStringLiteral("I"), mid}});
        };
        pec(a, QStringLiteral("<uno@pec.ditta.it>"), ora.addSecs(-3600));
        pec(b, QStringLiteral("<uno@pec.ditta.it>"), ora.addSecs(-3600));
        accettata(QStringLiteral("<uno@pec.ditta.it>"), ora.addSecs(-3590));
        pec(b, QStringLiteral("<due@pec.ditta.it>"), ora.addDays(-2));
        accettata(QStringLiteral("<due@pec.ditta.it>"), ora.addDays(-2));
        pec(a, QStringLiteral("<tre@pec.ditta.it>"), ora.addSecs(-60));
        lettera(*c, a, "PREAVVISO", ora, "ROSSI SRL", "INVIATA", "MAIL");

        const Istruzione i = sqlComunicazioni(Filtro(), QStringLiteral("i.ID"));
        sz::db::Result r = c->query(i.sql, i.params);
        aggiungiStatoPec(*c, r, ora);
        QStringList stati;
        for (const auto& riga : righe(r, Elenco::Tutte))
            stati << riga.value(QStringLiteral("StatoPEC"));
        QCOMPARE(stati.size(), 5);
        QCOMPARE(stati.mid(0, 2), (QStringList{QStringLiteral("Accettata"), QStringLiteral("Accettata")}));
        QVERIFY2(stati[2].startsWith(QStringLiteral("Accettata (")) && stati[2].contains(QStringLiteral("24 ore")),
                 qPrintable(stati[2]));
        QCOMPARE(stati[3], QStringLiteral("In attesa"));
        QCOMPARE(stati[4], QString());
        // Read twice (a re-read of the same rows): one column, not two.
        aggiungiStatoPec(*c, r, ora);
        QCOMPARE(r.columns.size(), r.rows[0].size());
    }

    void subjectNamesEveryFilter()
    {
        QCOMPARE(oggetto(marzo2013()), QStringLiteral("Elenco documenti emessi dal 01/03/2013 al 31/03/2013"));
        Filtro f = marzo2013(Tipo::Sollecito1);
        f.cliente = QStringLiteral("  rossi ");
        QCOMPARE(oggetto(f), QStringLiteral("Elenco documenti emessi dal 01/03/2013 al 31/03/2013 \u2013 Tipo: "
                                            "1° Sollecito \u2013 Cliente: rossi"));
        f.elenco = Elenco::Tutte;
        f.dal = QDate();
        QCOMPARE(oggetto(f), QStringLiteral("Elenco comunicazioni \u2013 Tipo: 1° Sollecito \u2013 Cliente: rossi"));
        f.tipo = Tipo::Tutte;
        f.cliente = QStringLiteral("   ");
        QCOMPARE(oggetto(f), QStringLiteral("Elenco comunicazioni"));
        Filtro soloTipo;
        soloTipo.tipo = Tipo::Sollecito3;
        QCOMPARE(oggetto(soloTipo), QStringLiteral("Elenco documenti emessi \u2013 Tipo: 3° Sollecito"));
    }

    // The log list printed: its own columns, the subject with its filters, the totals of
    // the rows listed and the count per kind; an empty list says so.
    void printedLog()
    {
        dunningdata::societa(*c);
        const qint64 a = credito(*c, "FT1/2013", QDate(2013, 1, 10), {}, "ROSSI SRL", 123456);
        const qint64 b = credito(*c, "FT2/2013", QDate(2013, 1, 20), {}, "VERDI SPA", 10000);
        lettera(*c, a, "SOLLECITO1", alle(2013, 3, 2, 8, 15), "ROSSI SRL", "INVIATA", "MAIL");
        lettera(*c, a, "SOLLECITO2", alle(2013, 3, 20, 16, 40), "ROSSI SRL", "NON INVIATA: indirizzo rifiutato",
                "MAIL");
        lettera(*c, b, "IN SOFFERENZA", alle(2013, 3, 25, 12, 0), "VERDI SPA");
        Filtro f = marzo2013();
        f.elenco = Elenco::Tutte;
        const Istruzione i = sqlComunicazioni(f, GORDERComunicazioni);
        const auto r = c->query(i.sql, i.params);
        const auto societa = sz::report::rowValues(c->query(QStringLiteral("SELECT * FROM t_societa")), 0);
        const sz::report::Filling s = stampa(righe(r, Elenco::Tutte), riepilogo(r, Elenco::Tutte), societa, f,
                                             QDate(2026, 12, 7), env->documents() + "/", programFolder());
        QCOMPARE(s.views.value(QStringLiteral("RvDataSetConnection2")).size(), 3);
        QVERIFY(!s.views.contains(QStringLiteral("RvDataSetConnection1")));
        const QString pdf = env->home() + QStringLiteral("/comunicazioni.pdf");
        sz::report::Project p;
        s.applyTo(p);
        p.setOutputFile(pdf);
        p.execute();
        // For a person to look at: build/screenshots/elenco_comunicazioni-1.png.
        QProcess::execute(QStringLiteral("pdftoppm"),
                          {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"), pdf,
                           QStringLiteral(SZ_SCREENSHOT_DIR "/elenco_comunicazioni")});
        const QString testo = TestEnv::pdfText(pdf);
        QVERIFY2(testo.contains(QStringLiteral("Elenco comunicazioni dal 01/03/2013 al 31/03/2013")), qPrintable(testo));
        for (const char* atteso : {"Data e ora", "Comunicazione", "Canale", "Esito", "Destinatari", "02/03/2013 08:15",
                                   "NON INVIATA:", "rifiutato", "IN SOFFERENZA", "Totale comunicazioni: 3",
                                   "€ 1.334,56", "1° Solleciti: 1", "2° Solleciti: 1", "In sofferenza: 1"})
            QVERIFY2(testo.contains(QString::fromUtf8(atteso)), atteso);
        QVERIFY(!testo.contains(QStringLiteral("Documento Emesso")));
        QVERIFY(!testo.contains(QStringLiteral("Totale documenti")));
        QCOMPARE(TestEnv::pdfPages(pdf), 1);

        // Nothing to list.
        f.cliente = QStringLiteral("nessuno");
        const Istruzione vuota = sqlComunicazioni(f, GORDERComunicazioni);
        const auto rv = c->query(vuota.sql, vuota.params);
        stampa(righe(rv, Elenco::Tutte), riepilogo(rv, Elenco::Tutte), societa, f, QDate(2026, 12, 7),
               env->documents() + "/", programFolder())
            .applyTo(p);
        p.setOutputFile(pdf);
        p.execute();
        const QString nessuna = TestEnv::pdfText(pdf);
        QVERIFY(nessuna.contains(QStringLiteral("Nessuna comunicazione corrisponde ai criteri scelti.")));
        QVERIFY(nessuna.contains(QStringLiteral("Cliente: nessuno")));
        QVERIFY(!nessuna.contains(QStringLiteral("Totale dei crediti elencati")));
    }

    // The log list from the command line: the fields of its grid, and the same rows in a
    // spreadsheet file as Italian office programs open it; the old list unchanged.
    void commandLineEveryLetter()
    {
        auto [code, out, err] = std::tuple{0, QString(), QString()};
        auto run = [&](const QStringList& args) {
            const auto r = TestEnv::runCli(args, env->home());
            std::tie(code, out, err) = std::tuple{r.code, r.out, r.err};
        };
        run({QStringLiteral("upgrade")});
        QCOMPARE(code, 0);
        {
            sz::db::Connection tool(env->documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb"));
            const qint64 a = credito(tool, "7/B", QDate(2013, 2, 1), {QDate(2013, 3, 5)}, "ROSSI SRL", 123456);
            lettera(tool, a, "PREAVVISO", alle(2013, 3, 5, 9, 0), "ROSSI SRL", "INVIATA", "MAIL");
            lettera(tool, a, "IN SOFFERENZA", alle(2013, 6, 1, 17, 45), "ROSSI SRL; \"ALTRO\"");
        }
        run({QStringLiteral("report"), QStringLiteral("issued"), QStringLiteral("--elenco"), QStringLiteral("tutte"),
             QStringLiteral("--csv"), QStringLiteral("invii.csv")});
        QVERIFY2(code == 0, qPrintable(err));
        QCOMPARE(out, QStringLiteral("DataOra\tNumeroFattura\tDataFattura\tScadenza\tImportoParziale\tImportoResiduo\t"
                                     "Comunicazione\tModo\tCanale\tEsito\tStatoPEC\tCliente\tDestinatari\n"
                                     "05/03/2013 09:00\t7/B\t02/01/2013\t01/02/2013\t€ 1.234,56\t€ 1.234,56\tPREAVVISO\t"
                                     "DOCUMENTO\tMAIL\tINVIATA\t\tROSSI SRL\tamministrazione@rossi.it\n"
                                     "01/06/2013 17:45\t7/B\t02/01/2013\t01/02/2013\t€ 1.234,56\t€ 1.234,56\t"
                                     "IN SOFFERENZA\tDOCUMENTO\tPDF\tCREATA\t\tROSSI SRL; \"ALTRO\"\t\n"));
        QFile csv(env->home() + QStringLiteral("/invii.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray bytes = csv.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const QStringList linee = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(linee.size(), 3);
        QCOMPARE(linee[0], QStringLiteral("Data e ora;Documento N°;Data Documento;Scadenza;Importo;Residuo;"
                                          "Comunicazione;Modo;Canale;Esito;Stato PEC;Cliente;Destinatari"));
        QVERIFY2(linee[1].startsWith(QStringLiteral("05/03/2013 09:00")), qPrintable(linee[1]));
        QVERIFY2(linee[1].contains(QStringLiteral(";7/B;02/01/2013;01/02/2013;1234,56;1234,56;PREAVVISO;")),
                 qPrintable(linee[1]));
        QVERIFY2(linee[2].contains(QStringLiteral(";\"ROSSI SRL; \"\"ALTRO\"\"\";")), qPrintable(linee[2]));

        // The kind and the range narrow the log as they do on screen.
        run({QStringLiteral("report"), QStringLiteral("issued"), QStringLiteral("--elenco"), QStringLiteral("tutte"),
             QStringLiteral("--dal"), QStringLiteral("01/03/2013"), QStringLiteral("--al"), QStringLiteral("31/03/2013")});
        QCOMPARE(out.count(QLatin1Char('\n')), 2);
        // The latest-letter list to .xlsx, read back: the amount a number, the date a date.
        run({QStringLiteral("report"), QStringLiteral("issued"), QStringLiteral("--xlsx"), QStringLiteral("ultime.xlsx")});
        QVERIFY2(code == 0, qPrintable(err));
        QCOMPARE(out.count(QLatin1Char('\n')), 2);
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import openpyxl,sys; ws=openpyxl.load_workbook(sys.argv[1]).active; "
                                 "print(ws['A1'].value, ws['D2'].value, type(ws['B2'].value).__name__, ws['H2'].value)"),
                  env->home() + QStringLiteral("/ultime.xlsx")});
        QVERIFY(py.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(py.readAllStandardOutput()).trimmed(),
                 QStringLiteral("Documento N° 1234.56 datetime 2013-03-05 00:00:00"));

        run({QStringLiteral("report"), QStringLiteral("issued"), QStringLiteral("--elenco"), QStringLiteral("tutto")});
        QCOMPARE(code, 2);
        run({QStringLiteral("report"), QStringLiteral("issued"), QStringLiteral("--csv")});
        QCOMPARE(code, 2);
        QVERIFY(!err.isEmpty());
    }

    // The test letter: the kinds and their keys, the firm as its own addressee, the
    // saved texts, the first bank; missing data gives the empty forms.
    void templatePreview()
    {
        using namespace sz::letters;
        QCOMPARE(tipologie().size(), 6);
        QCOMPARE(tipologiaDi(QStringLiteral("2° SOLLECITO")), QStringLiteral("SOLLECITO2"));
        QCOMPARE(tipologiaDi(QStringLiteral("IN SOFFERENZA")), QStringLiteral("IN SOFFERENZA"));
        QCOMPARE(tipologiaDi(QStringLiteral("SOLLECITO2")), QString());

        dunningdata::societa(*c);
        c->exec(QStringLiteral("INSERT INTO t_banche (Nome, Agenzia, IBAN) VALUES ('SECONDA', '', 'IT00')"));
        c->exec(QStringLiteral(
            "UPDATE t_comunicazioni SET Introduzione = 'Testo salvato' WHERE Tipologia = 'SOLLECITO2'"));
        const QDate oggi(2026, 12, 7);
        sz::report::Filling f =
            anteprima(*c, QStringLiteral("SOLLECITO2"), oggi, env->documents() + "/", programFolder());
        QCOMPARE(f.value(QStringLiteral("Introduzione")), QStringLiteral("Testo salvato"));
        QCOMPARE(f.value(QStringLiteral("FaxUtente")), QString(""));
        QCOMPARE(f.value(QStringLiteral("Fax")), QStringLiteral("Fax: -"));
        QCOMPARE(f.value(QStringLiteral("Cell")), QStringLiteral("Cell.: -"));
        QCOMPARE(f.value(QStringLiteral("Telefono")), QStringLiteral("Tel.: 049 123456"));
        QCOMPARE(f.value(QStringLiteral("CF")), QStringLiteral("C.F.: 01987654321"));
        QCOMPARE(f.value(QStringLiteral("Referente")), QStringLiteral("Alla c.a.: LUCIA FERRARI"));
        QCOMPARE(f.value(QStringLiteral("Mail3")), QStringLiteral("Mail #3: amministrazione@artigiana.it"));
        QCOMPARE(f.value(QStringLiteral("LuogoData")), QStringLiteral("PADOVA, lì 07/12/2026"));
        QCOMPARE(f.value(QStringLiteral("NumeroFattura")), QStringLiteral("TEST"));
        QCOMPARE(f.value(QStringLiteral("ScadenzaFattura")), QStringLiteral("07/12/2026"));
        QCOMPARE(f.value(QStringLiteral("ImportoFattura")), QStringLiteral("0,00 €"));
        QCOMPARE(f.value(QStringLiteral("NomeBanca")), QStringLiteral("BANCA DI PADOVA"));
        QCOMPARE(f.views.value(QStringLiteral("RvDataSetConnection1")).size(), 2);

        const QString pdf = env->home() + QStringLiteral("/anteprima.pdf");
        sz::report::Project p;
        f.applyTo(p);
        p.setOutputFile(pdf);
        p.execute();
        const QString testo = TestEnv::pdfText(pdf);
        QVERIFY2(testo.contains(QStringLiteral("Testo salvato")), qPrintable(testo));
        QVERIFY(testo.contains(QStringLiteral("TEST")));
        QVERIFY(testo.contains(QStringLiteral("PADOVA, lì 07/12/2026")));
        QVERIFY(testo.contains(QStringLiteral("IT60X0542811101000000123456")));

        // No locality, fax, bank or template: the empty forms, never a failure.
        c->exec(QStringLiteral("UPDATE t_societa SET Localita = NULL, Fax = NULL, Mail = NULL, CF = ''"));
        c->exec(QStringLiteral("DELETE FROM t_banche"));
        f = anteprima(*c, QStringLiteral("NESSUNA"), oggi, env->documents() + "/", programFolder());
        QVERIFY(f.value(QStringLiteral("LuogoData")).startsWith(QStringLiteral(", lì ")));
        QCOMPARE(f.value(QStringLiteral("CF")), QStringLiteral("C.F.: -"));
        QCOMPARE(f.value(QStringLiteral("Mail1")), QString(""));
        QCOMPARE(f.value(QStringLiteral("NomeBanca")), QString(""));
        QCOMPARE(f.value(QStringLiteral("Oggetto")), QString(""));
        c->exec(QStringLiteral("DELETE FROM t_societa"));
        f = anteprima(*c, QStringLiteral("PREAVVISO"), oggi, env->documents() + "/", programFolder());
        QCOMPARE(f.value(QStringLiteral("RagioneSocialeUtente")), QString(""));
        QVERIFY(!f.value(QStringLiteral("Oggetto")).isEmpty());
    }

    // The test letter prints the subject, the introduction and the closing once each,
    // each from its own field of the saved template, its lines kept.
    void previewTextsEachOnce()
    {
        dunningdata::societa(*c);
        for (const char* tipologia : {"SOLLECITO1", "GENERICA"}) {
            c->exec(QStringLiteral("UPDATE t_comunicazioni SET Oggetto = 'OGGETTOUNICO', Introduzione = :I, Finale = "
                                   ":F WHERE Tipologia = :T"),
                    {{QStringLiteral("I"), QStringLiteral("INTRORIGAUNO\r\nINTRORIGADUE")},
                     {QStringLiteral("F"), QStringLiteral("CHIUSURAUNICA")},
                     {QStringLiteral("T"), QString::fromLatin1(tipologia)}});
            const sz::report::Filling f = sz::letters::anteprima(*c, QString::fromLatin1(tipologia), QDate(2026, 12, 7),
                                                                 env->documents() + "/", programFolder());
            const QString pdf = env->home() + QStringLiteral("/anteprima_%1.pdf").arg(QLatin1String(tipologia));
            sz::report::Project p;
            f.applyTo(p);
            p.setOutputFile(pdf);
            p.execute();
            const QString testo = TestEnv::pdfText(pdf);
            QCOMPARE(testo.count(QStringLiteral("OGGETTOUNICO")), 1);
            QCOMPARE(testo.count(QStringLiteral("INTRORIGAUNO")), 1);
            QCOMPARE(testo.count(QStringLiteral("INTRORIGADUE")), 1);
            QCOMPARE(testo.count(QStringLiteral("CHIUSURAUNICA")), 1);
            // In the letter's order, the introduction on two lines.
            const qsizetype o = testo.indexOf(QStringLiteral("OGGETTOUNICO")),
                            i1 = testo.indexOf(QStringLiteral("INTRORIGAUNO")),
                            i2 = testo.indexOf(QStringLiteral("INTRORIGADUE")),
                            fine = testo.indexOf(QStringLiteral("CHIUSURAUNICA"));
            QVERIFY2(o < i1 && i1 < i2 && i2 < fine, qPrintable(testo));
            QVERIFY(testo.mid(i1, i2 - i1).contains(QLatin1Char('\n')));
        }
    }

    // Both commands without a display: the list in the grid's fields and order, the
    // report and the test letter as PDF files, wrong use refused.
    void commandLine()
    {
        auto run = [&](const QStringList& args) {
            const auto r = TestEnv::runCli(args, env->home());
            return std::tuple{r.code, r.out, r.err};
        };
        auto [code, out, err] = run({QStringLiteral("upgrade")});
        QCOMPARE(code, 0);
        {
            sz::db::Connection tool(env->documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb"));
            dunningdata::societa(tool);
            credito(tool, "7/B", QDate(2013, 2, 1), {QDate(2013, 3, 5)}, "ROSSI SRL", 123450);
            credito(tool, "8", QDate(2013, 1, 1), {QDate(2013, 3, 1), QDate(2013, 4, 2)}, "VERDI SPA");
            tool.exec(
                QStringLiteral("UPDATE t_crediti SET Note = 'riga\tcon tab' WHERE NumeroFattura = '8'"));
        }
        const QString intestazione = QStringLiteral("NumeroFattura\tDataFattura\tScadenza\tImportoParziale\tI"
                                                    "mportoResiduo\tTotaleFattura\tDocumentoEmesso\t"
                                                    "DataEmissione\tCliente\tDestinatarioFattura\tNote\n");
        std::tie(code, out, err) = run({QStringLiteral("report"), QStringLiteral("issued")});
        QVERIFY2(code == 0, qPrintable(err));
        QCOMPARE(out, intestazione +
                          QStringLiteral(
                              "8\t02/12/2012\t01/01/2013\t€ 1.000,00\t€ 1.000,00\t€ 1.000,00\t1° SOLLECITO\t"
                              "02/04/2013\tVERDI SPA\tVERDI SPA\triga\\tcon tab\n"
                              "7/B\t02/01/2013\t01/02/2013\t€ 1.234,50\t€ 1.234,50\t€ 1.234,50\tPREAVVISO\t"
                              "05/03/2013\tROSSI SRL\tROSSI SRL\t\n"));
        std::tie(code, out, err) =
            run({QStringLiteral("report"), QStringLiteral("issued"), QStringLiteral("--dal"),
                 QStringLiteral("01/03/2013"), QStringLiteral("--al"), QStringLiteral("31/03/2013"),
                 QStringLiteral("--tipo"), QStringLiteral("Preavviso"), QStringLiteral("--cliente"),
                 QStringLiteral("rossi"), QStringLiteral("--pdf"), QStringLiteral("elenco.pdf")});
        QVERIFY2(code == 0, qPrintable(err));
        QCOMPARE(out.count(QLatin1Char('\n')), 2);
        const QString elencoPdf = TestEnv::pdfText(env->home() + QStringLiteral("/elenco.pdf"));
        QVERIFY(elencoPdf.contains(QStringLiteral("Elenco documenti emessi dal 01/03/2013 al 31/03/2013")));
        QVERIFY(elencoPdf.contains(QStringLiteral("Totale documenti: 1")));

        std::tie(code, out, err) =
            run({QStringLiteral("report"), QStringLiteral("issued"), QStringLiteral("--dal"),
                 QStringLiteral("31/02/2026"), QStringLiteral("--al"), QStringLiteral("01/03/2026")});
        QCOMPARE(code, 2);
        QVERIFY(err.contains(QStringLiteral("31/02/2026")));
        std::tie(code, out, err) = run({QStringLiteral("report"), QStringLiteral("issued"),
                                        QStringLiteral("--tipo"), QStringLiteral("Sollecito4")});
        QCOMPARE(code, 2);

        std::tie(code, out, err) =
            run({QStringLiteral("letters"), QStringLiteral("preview"), QStringLiteral("SOLLECITO2"),
                 QStringLiteral("--pdf"), QStringLiteral("prova.pdf")});
        QVERIFY2(code == 0, qPrintable(err));
        QVERIFY(err.isEmpty());
        const QString lettera = TestEnv::pdfText(env->home() + QStringLiteral("/prova.pdf"));
        QVERIFY2(lettera.contains(QStringLiteral("TEST")) &&
                     lettera.contains(QStringLiteral("ARTIGIANA VENETA SNC")),
                 qPrintable(lettera));
        std::tie(code, out, err) =
            run({QStringLiteral("letters"), QStringLiteral("preview"), QStringLiteral("SOLLECITO9"),
                 QStringLiteral("--pdf"), QStringLiteral("x.pdf")});
        QCOMPARE(code, 2);
        QVERIFY(!QFile::exists(env->home() + QStringLiteral("/x.pdf")));
    }
};

QTEST_MAIN(TestIssuedLetters)
#include "tst_issued_letters.moc"
