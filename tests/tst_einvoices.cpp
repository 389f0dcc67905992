// Issued electronic invoices: what the reader takes from each format and writing, the
// due-date and total rules, signed files in their three wrappings, what loading leaves
// out and says, the import of instalments and clients (twice), the command line, and
// mutated files.
#include "FatturaGen.h"
#include "FattureElettroniche.h"
#include "ImportazioneLogic.h"
#include "TestEnv.h"

#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"
#include "scadenzio/sheets/FatturaPA.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace sz::importazione;
namespace fpa = sz::fatturapa;
namespace gen = fatturagen;
using sz::Money;

namespace {

fpa::Fattura leggi(const QByteArray& xml)
{
    auto r = fpa::leggiFattura(xml, QStringLiteral("prova.xml"));
    if (!std::holds_alternative<fpa::Fattura>(r)) return {};
    return std::get<fpa::Fattura>(r);
}

QString erroreDi(const std::function<void()>& f)
{
    try {
        f();
    } catch (const sz::Error& e) {
        return e.message();
    }
    return {};
}

gen::Fattura treRate()
{
    gen::Fattura f;
    gen::Corpo c;
    c.numero = QStringLiteral("FT/101");
    c.data = QStringLiteral("2026-01-15");
    c.totale = QStringLiteral("3660.00");
    c.condizioni = QStringLiteral("TP01");
    c.riepilogo = {{QStringLiteral("3000.00"), QStringLiteral("660.00")}};
    c.rate = {{QStringLiteral("MP12"), QStringLiteral("2026-02-28"), {}, {}, QStringLiteral("1220.00"), {}},
              {QStringLiteral("MP12"), QStringLiteral("2026-03-31"), {}, {}, QStringLiteral("1220.00"), {}},
              {QStringLiteral("MP05"),
               QStringLiteral("2026-04-30"),
               {},
               {},
               QStringLiteral("1220.00"),
               QStringLiteral("it60 x054 2811 1010 0000 0123 456")}};
    f.corpi = {c};
    return f;
}

// Edits only between tags: the file stays well formed and its values go wrong.
QByteArray nelTesto(QByteArray xml, QRandomGenerator& rng, const QByteArray& alfabeto)
{
    QList<qsizetype> testo;
    bool dentro = false;
    for (qsizetype i = 0; i < xml.size(); ++i) {
        if (xml[i] == '<')
            dentro = false;
        else if (dentro)
            testo << i;
        else if (xml[i] == '>')
            dentro = true;
    }
    const int n = 1 + rng.bounded(4);
    for (int k = 0; k < n && !testo.isEmpty(); ++k)
        xml[testo[rng.bounded(int(testo.size()))]] = alfabeto[rng.bounded(int(alfabeto.size()))];
    return xml;
}

QString dump(sz::db::Connection& c, const QString& sql)
{
    QStringList righe;
    for (const auto& r : c.query(sql).rows) {
        QStringList celle;
        for (const QVariant& v : r)
            celle << v.toString();
        righe << celle.join(QLatin1Char('|'));
    }
    return righe.join(QLatin1Char('\n'));
}

} // namespace

class TestEinvoices : public QObject
{
    Q_OBJECT

    TestEnv* env = nullptr;
    sz::db::Connection* c = nullptr;

    QString scrivi(const QString& nome, const QByteArray& dati)
    {
        const QString p = env->home() + QStringLiteral("/fatture/") + nome;
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly) || f.write(dati) != dati.size()) return {};
        return p;
    }

    // Every kind of file the issue of invoices meets, as (name, bytes).
    QList<QPair<QString, QByteArray>> tutti()
    {
        QList<QPair<QString, QByteArray>> v;
        v << qMakePair(QStringLiteral("IT01234567890_00001.xml"), gen::xml(treRate()));

        gen::Fattura lotto;
        lotto.prefisso = QStringLiteral("ns0");
        gen::Corpo a, b;
        a.numero = QStringLiteral("FT/102");
        a.rate = {
            {QStringLiteral("MP05"), QStringLiteral("2026-04-30"), {}, {}, QStringLiteral("122.00"), {}}};
        b.numero = QStringLiteral("FT/103");
        b.rate = {
            {QStringLiteral("MP05"), QStringLiteral("2026-05-31"), {}, {}, QStringLiteral("244.00"), {}}};
        lotto.corpi = {a, b};
        v << qMakePair(QStringLiteral("IT01234567890_00002.xml"), gen::xml(lotto));

        gen::Fattura privato;
        privato.prefisso.clear();
        privato.denominazione.clear();
        privato.nome = QStringLiteral("Mario");
        privato.cognome = QStringLiteral("Rossi");
        privato.clienteIva.clear();
        privato.clienteCF = QStringLiteral("RSSMRA80A01H501U");
        privato.civico.clear();
        gen::Corpo p;
        p.numero = QStringLiteral("FT/104");
        p.data = QStringLiteral("2026-03-01");
        // 30 days from the reference date; then, with neither date nor days, the document date.
        p.rate = {{QStringLiteral("MP01"),
                   {},
                   QStringLiteral("2026-03-10"),
                   QStringLiteral("30"),
                   QStringLiteral("61.00"),
                   {}},
                  {QStringLiteral("MP01"), {}, {}, {}, QStringLiteral("61.00"), {}}};
        privato.corpi = {p};
        v << qMakePair(QStringLiteral("IT01234567890_00003.xml"), gen::xml(privato));

        gen::Fattura senza;
        gen::Corpo s;
        s.numero = QStringLiteral("FT/105");
        s.data = QStringLiteral("2026-02-10");
        s.riepilogo = {{QStringLiteral("1000.00"), QStringLiteral("220.00")},
                       {QStringLiteral("50.00"), QStringLiteral("2.00")}};
        senza.corpi = {s};
        v << qMakePair(QStringLiteral("IT01234567890_00004.xml"), gen::xml(senza));

        gen::Fattura firmata;
        gen::Corpo g;
        g.numero = QStringLiteral("FT/106");
        g.rate = {
            {QStringLiteral("MP19"), QStringLiteral("2026-06-30"), {}, {}, QStringLiteral("500.00"), {}}};
        firmata.corpi = {g};
        const QByteArray der = gen::firma(gen::xml(firmata), env->home());
        v << qMakePair(QStringLiteral("IT01234567890_00005.xml.p7m"), der);
        firmata.corpi[0].numero = QStringLiteral("FT/107");
        v << qMakePair(QStringLiteral("IT01234567890_00006.xml.p7m"),
                       gen::firma(gen::xml(firmata), env->home()).toBase64());
        firmata.corpi[0].numero = QStringLiteral("FT/108");
        v << qMakePair(QStringLiteral("IT01234567890_00007.xml.p7m"),
                       gen::firma(gen::xml(firmata), env->home()).toBase64().toBase64());

        gen::Fattura ricevuta;
        ricevuta.cedenteIva = QStringLiteral("05555555555");
        ricevuta.cedente = QStringLiteral("Fornitore Gamma srl");
        ricevuta.corpi[0].numero = QStringLiteral("A-77");
        v << qMakePair(QStringLiteral("IT05555555555_00001.xml"), gen::xml(ricevuta));

        gen::Fattura nota;
        nota.corpi[0].tipo = QStringLiteral("TD04");
        nota.corpi[0].numero = QStringLiteral("NC/1");
        nota.corpi[0].data = QStringLiteral("2026-04-02");
        v << qMakePair(QStringLiteral("IT01234567890_00008.xml"), gen::xml(nota));

        const QByteArray intera = gen::xml(treRate());
        v << qMakePair(QStringLiteral("IT01234567890_00009.xml"), intera.left(intera.size() / 2));
        v << qMakePair(QStringLiteral("IT01234567890_00010.xml"), QByteArray("Numero;Data\n1;2026-01-01\n"));
        v << qMakePair(
            QStringLiteral("IT01234567890_00001_MT_001.xml"),
            QByteArray("<?xml version=\"1.0\"?><ns3:FileMetadati xmlns:ns3=\"http://www.fatturapa.gov.it/"
                       "sdi/messaggi/v1.0\"><IdentificativoSdI>1</IdentificativoSdI></ns3:FileMetadati>"));
        return v;
    }

private slots:
    void init()
    {
        env = new TestEnv;
        c = new sz::db::Connection(env->installDatabase());
        c->exec(QStringLiteral(
            "INSERT INTO t_societa (RagioneSociale, IVA) VALUES ('ALFA SRL', 'IT 01234567890')"));
        c->exec(QStringLiteral(
            "INSERT INTO t_banche (Nome, IBAN) VALUES ('CASSA RURALE', 'IT11A0000000000000000000001'), "
            "('BANCA DI PROVA', 'IT60X0542811101000000123456')"));
    }
    void cleanup()
    {
        delete c;
        c = nullptr;
        delete env;
    }

    // The same invoice read alike whatever the prefix; a batch; a private customer; the
    // simplified format; what is not an invoice.
    void readsTheFormats()
    {
        for (const QString& prefisso : {QStringLiteral("p"), QStringLiteral("ns0"), QString()}) {
            gen::Fattura g = treRate();
            g.prefisso = prefisso;
            const fpa::Fattura f = leggi(gen::xml(g));
            QCOMPARE(f.formato, QStringLiteral("FPR12"));
            QCOMPARE(f.cedente.idCodice, QStringLiteral("01234567890"));
            QCOMPARE(f.cessionario.nominativo(), QStringLiteral("Beta S.p.A."));
            QCOMPARE(f.cessionario.indirizzoCompleto(), QStringLiteral("Via Roma, 10"));
            QCOMPARE(f.documenti.size(), 1);
            QCOMPARE(f.documenti[0].numero, QStringLiteral("FT/101"));
            QCOMPARE(f.documenti[0].rate.size(), 3);
            QCOMPARE(f.documenti[0].rate[2].iban, QStringLiteral("it60 x054 2811 1010 0000 0123 456"));
        }
        gen::Fattura privato;
        privato.denominazione.clear();
        privato.nome = QStringLiteral("Anna");
        privato.cognome = QStringLiteral("De Luca");
        privato.nazione = QStringLiteral("DE");
        privato.corpi << gen::Corpo{};
        privato.corpi[1].numero = QStringLiteral("2");
        const fpa::Fattura f = leggi(gen::xml(privato));
        QCOMPARE(f.cessionario.nominativo(), QStringLiteral("Anna De Luca"));
        QCOMPARE(f.cessionario.partitaIva(), QStringLiteral("DE09876543210"));
        QCOMPARE(f.documenti.size(), 2);
        QCOMPARE(f.documenti[1].numero, QStringLiteral("2"));

        const fpa::Fattura s = leggi(
            gen::semplificata(QStringLiteral("01234567890"), QStringLiteral("Bar Sport"),
                              QStringLiteral("S/9"), QStringLiteral("2026-05-05"), QStringLiteral("48.80")));
        QCOMPARE(s.formato, QStringLiteral("FSM10"));
        QCOMPARE(s.cedente.idCodice, QStringLiteral("01234567890"));
        QCOMPARE(s.cessionario.nominativo(), QStringLiteral("Bar Sport"));
        QCOMPARE(s.cessionario.codiceFiscale, QStringLiteral("RSSMRA80A01H501U"));
        QCOMPARE(s.cessionario.comune, QStringLiteral("Torino"));
        QCOMPARE(s.documenti[0].importoTotale(), std::optional<Money>(Money::fromCents(4880)));

        QVERIFY(std::holds_alternative<fpa::NonFattura>(fpa::leggiFattura(
            "<a:RicevutaConsegna xmlns:a=\"x\"><IdentificativoSdI>3</IdentificativoSdI></a:RicevutaConsegna>",
            QStringLiteral("r.xml"))));
        const QByteArray intera = gen::xml(treRate());
        QString e = erroreDi(
            [&] { fpa::leggiFattura(intera.left(intera.size() - 40), QStringLiteral("tronca.xml")); });
        QVERIFY2(e.startsWith(QStringLiteral("Il file \"tronca.xml\" non è un XML leggibile: il contenuto si "
                                             "interrompe prima della fine")),
                 qPrintable(e));
        e = erroreDi([] { fpa::leggiFattura("<ordine><riga/></ordine>", QStringLiteral("o.xml")); });
        QCOMPARE(
            e, QStringLiteral("Il file \"o.xml\" non è una fattura elettronica: il suo elemento principale è "
                              "\"ordine\"."));
        e = erroreDi([] { fpa::leggiFattura("<a><b></a>", QStringLiteral("m.xml")); });
        QVERIFY2(e.contains(QStringLiteral("non è XML ben formato")), qPrintable(e));
        e = erroreDi([] { fpa::leggiFattura("", QStringLiteral("v.xml")); });
        QVERIFY2(e.contains(QStringLiteral("v.xml")), qPrintable(e));
    }

    // Due dates from the date, or the reference date (else the document's) plus the days;
    // amounts only in the decimal form of the schema; totals from the document, the
    // summary, or the lines with their VAT.
    void dueDatesAndTotals()
    {
        const QDate doc(2026, 3, 1);
        const auto rata = [](QString s, QString r, QString g) {
            fpa::Rata x;
            x.scadenza = s;
            x.riferimento = r;
            x.giorni = g;
            return x;
        };
        QCOMPARE(rata("2026-04-30", "2026-03-10", "30").dataScadenza(doc), QDate(2026, 4, 30));
        QCOMPARE(rata("", "2026-03-10", "30").dataScadenza(doc), QDate(2026, 4, 9));
        QCOMPARE(rata("", "", "60").dataScadenza(doc), QDate(2026, 4, 30));
        QCOMPARE(rata("", "", "").dataScadenza(doc), doc);
        QCOMPARE(rata("2026-04-30+01:00", "", "").dataScadenza(doc), QDate(2026, 4, 30));
        QVERIFY(!rata("30/04/2026", "", "").dataScadenza(doc).isValid());
        QVERIFY(!rata("", "", "trenta").dataScadenza(doc).isValid());
        QVERIFY(!rata("", "", "").dataScadenza(QDate()).isValid());

        QCOMPARE(fpa::importo(QStringLiteral("1234.50")), std::optional<Money>(Money::fromCents(123450)));
        QCOMPARE(fpa::importo(QStringLiteral("-3")), std::optional<Money>(Money::fromCents(-300)));
        QCOMPARE(fpa::importo(QStringLiteral("0.12345")), std::optional<Money>(Money::fromRaw(1235)));
        // The stored three decimals are not a thousands separator.
        QCOMPARE(fpa::importo(QStringLiteral("1.500")), std::optional<Money>(Money::fromRaw(15000)));
        for (const char* no : {"1,50", "1.234.50", "1e3", "", "12.", "EUR 5"})
            QVERIFY2(!fpa::importo(QLatin1String(no)), no);

        gen::Fattura g;
        g.corpi[0].riepilogo = {{QStringLiteral("1000.00"), QStringLiteral("220.00")},
                                {QStringLiteral("50.00"), QStringLiteral("2.00")}};
        QCOMPARE(leggi(gen::xml(g)).documenti[0].importoTotale(),
                 std::optional<Money>(Money::fromCents(127200)));
        g.corpi[0].totale = QStringLiteral("1271.99");
        QCOMPARE(leggi(gen::xml(g)).documenti[0].importoTotale(),
                 std::optional<Money>(Money::fromCents(127199)));
        g.corpi[0].totale.clear();
        g.corpi[0].senzaRiepilogo = true;
        QCOMPARE(leggi(gen::xml(g)).documenti[0].importoTotale(),
                 std::optional<Money>(Money::fromCents(12200)));
    }

    // The XML inside a signature made by openssl, as DER, streamed BER, base64, base64 of
    // base64 and armoured text; anything else is named in the message.
    void signedFiles()
    {
        const QByteArray xml = gen::xml(treRate());
        const QByteArray der = gen::firma(xml, env->home());
        const QByteArray ber = gen::firma(xml, env->home(), true);
        QVERIFY(!der.isEmpty() && !ber.isEmpty());
        QVERIFY(der != ber);
        const QString n = QStringLiteral("f.xml.p7m");
        QCOMPARE(fpa::estraiFirmato(der, n), xml);
        QCOMPARE(fpa::estraiFirmato(ber, n), xml);
        QCOMPARE(fpa::estraiFirmato(der.toBase64(), n), xml);
        QCOMPARE(fpa::estraiFirmato(der.toBase64().toBase64(), n), xml);
        QByteArray armato = "-----BEGIN PKCS7-----\r\n";
        const QByteArray b64 = der.toBase64();
        for (qsizetype i = 0; i < b64.size(); i += 64)
            armato += b64.mid(i, 64) + "\r\n";
        armato += "-----END PKCS7-----\r\n";
        QCOMPARE(fpa::estraiFirmato(armato, n), xml);
        QCOMPARE(fpa::estraiFirmato(gen::firma(der, env->home()), n), xml); // signed twice
        for (const QByteArray& no : {QByteArray("non firmato"), der.left(der.size() / 3), QByteArray()})
            QCOMPARE(
                erroreDi([&] { fpa::estraiFirmato(no, n); }),
                QStringLiteral("Il file \"f.xml.p7m\" non è un file firmato leggibile (.p7m): impossibile "
                               "estrarne la fattura."));
    }

    // A ZIP of every kind of file: the rows of the credits, and one line for each file or
    // document left out; the import writes instalments, clients and payment modes, and a
    // second import of the same ZIP changes nothing.
    void importsAZipTwice()
    {
        const QString archivio = env->home() + QStringLiteral("/fatture.zip");
        QVERIFY(gen::zip(archivio, tutti()));
        const Caricamento car = caricaFattureElettroniche(*c, {archivio});
        QVERIFY(car.elettronica);
        QVERIFY(car.avviso.isEmpty());
        const Griglia& g = car.griglia;
        QCOMPARE(g.celle[0].mid(1), intestazioniFatturaElettronica());
        QStringList numeri;
        for (int r = 1; r < g.righe(); ++r)
            numeri << g.cella(r, 1) + QLatin1Char('@') + g.cella(r, 3);
        QCOMPARE(numeri, (QStringList{"FT/101@28/02/2026", "FT/101@31/03/2026", "FT/101@30/04/2026",
                                      "FT/102@30/04/2026", "FT/103@31/05/2026", "FT/104@09/04/2026",
                                      "FT/104@01/03/2026", "FT/105@10/02/2026", "FT/106@30/06/2026",
                                      "FT/107@30/06/2026", "FT/108@30/06/2026"}));
        // FT/101's third instalment: amount for the invoice import, mode by name, bank by IBAN,
        // the client's registry data.
        QCOMPARE(g.celle[3].mid(1),
                 (QStringList{"FT/101", "15/01/2026", "30/04/2026", "1220,00", "", "", "BONIFICO",
                              "BETA S.P.A.", "BETA S.P.A.", "BANCA DI PROVA", "", "VIA ROMA, 10", "MILANO",
                              "20121", "MI", "09876543210", "", "FATTURE.ZIP/IT01234567890_00001.XML",
                              "IT60X0542811101000000123456", ""}));
        QCOMPARE(g.cella(1, 7), QStringLiteral("RI.BA."));
        QCOMPARE(g.cella(6, 9), QStringLiteral("MARIO ROSSI"));
        QCOMPARE(g.cella(6, 7), QStringLiteral("CONTANTI"));
        QCOMPARE(g.cella(8, 4), QStringLiteral("1272,00"));
        QCOMPARE(g.cella(8, 7), QString());
        QCOMPARE(car.scartati.size(), 4); // the metadata file is passed over
        QCOMPARE(car.scartati[0],
                 QStringLiteral("fatture.zip/IT05555555555_00001.xml: documento N° A-77 del "
                                "31/03/2026 non importato: è una fattura ricevuta dal fornitore "
                                "Fornitore Gamma srl (P. IVA IT05555555555), non emessa "
                                "dall'azienda."));
        QCOMPARE(car.scartati[1], QStringLiteral("fatture.zip/IT01234567890_00008.xml: documento N° NC/1 del "
                                                 "02/04/2026 non importato: è una nota di credito (TD04)."));
        QVERIFY2(
            car.scartati[2].startsWith(QStringLiteral("fatture.zip/IT01234567890_00009.xml: Il file "
                                                      "\"fatture.zip/IT01234567890_00009.xml\" non è un XML "
                                                      "leggibile: il contenuto si interrompe")),
            qPrintable(car.scartati[2]));
        QCOMPARE(
            car.scartati[3],
            QStringLiteral("fatture.zip/IT01234567890_00010.xml: il file non è una fattura elettronica: non "
                           "è un XML né un file firmato (.p7m)."));
        Colonne colonne = risolviColonne(g, Tipo::Fatture, scelteFatturaElettronica());
        aggiungiAnagrafica(colonne, g);
        std::atomic<bool> annulla{false};
        Esito e = importa(*c, Tipo::Fatture, g, colonne, annulla);
        QVERIFY2(e.errori.isEmpty() && e.guasto.isEmpty(), qPrintable(e.errori.join('\n') + e.guasto));
        QCOMPARE(e.scritte, 11);
        QVERIFY2(e.avvisi.isEmpty(), qPrintable(e.avvisi.join('\n')));
        const QString crediti = QStringLiteral("SELECT NumeroFattura, DataFattura, Scadenza, Importo, "
                                               "Incassato, Residuo, Pagato, Stato, ImportoTotale, "
                                               "ModalitaPagamento, Banca, Cliente, DestinatarioFattura FROM "
                                               "t_crediti ORDER BY NumeroFattura, Scadenza");
        const QString clienti = QStringLiteral(
            "SELECT RagioneSociale, Indirizzo, Localita, CAP, Provincia, IVA, CF FROM t_clienti "
            "ORDER BY RagioneSociale");
        const QString modi =
            QStringLiteral("SELECT Modalita, Preavviso, Sollecito1 FROM t_parametri ORDER BY Modalita");
        QCOMPARE(c->scalar(QStringLiteral("SELECT COUNT(DISTINCT NumeroFattura) FROM t_crediti")).toInt(), 8);
        QCOMPARE(
            c->scalar(QStringLiteral("SELECT ImportoTotale FROM t_crediti WHERE NumeroFattura = 'FT/101' "
                                     "LIMIT 1"))
                .value<Money>(),
            Money::fromCents(366000));
        // An instalment without an account of its own names no bank: the first bank of the
        // register is an account the invoice never gave.
        QCOMPARE(
            dump(*c,
                 QStringLiteral(
                     "SELECT COALESCE(NULLIF(Banca, ''), '-') FROM t_crediti WHERE NumeroFattura = 'FT/101' "
                     "ORDER BY Scadenza")),
            QStringLiteral("-\n-\nBANCA DI PROVA"));
        QCOMPARE(dump(*c, clienti), QStringLiteral("BETA S.P.A.|VIA ROMA, 10|MILANO|20121|MI|09876543210|\n"
                                                   "MARIO ROSSI|VIA ROMA|MILANO|20121|MI||RSSMRA80A01H501U"));
        QVERIFY(dump(*c, modi).contains(QStringLiteral("SEPA DIRECT DEBIT|0|5")));
        QVERIFY(dump(*c, modi).contains(QStringLiteral("CONTANTI|0|5")));

        const QString prima = dump(*c, crediti), primaClienti = dump(*c, clienti), primaModi = dump(*c, modi);
        const Caricamento ancora = caricaFattureElettroniche(*c, {archivio});
        e = importa(*c, Tipo::Fatture, ancora.griglia, colonne, annulla);
        QCOMPARE(e.scritte, 11);
        QCOMPARE(dump(*c, crediti), prima);
        QCOMPARE(dump(*c, clienti), primaClienti);
        QCOMPARE(dump(*c, modi), primaModi);
    }

    // An instalment's IBAN the register lacks adds its bank, named by IstitutoFinanziario,
    // else by the IBAN (also when the institute's name is another account's); the credit
    // names it, the run's summary says so once, and a second import adds nothing.
    void theInvoicesOwnBank()
    {
        gen::Fattura f = treRate();
        f.corpi[0].rate[0].iban = QStringLiteral("IT02 L123 4512 3451 2345 6789 012");
        f.corpi[0].rate[0].istituto = QStringLiteral("Banca Nuova di Prova");
        f.corpi[0].rate[1].iban = QStringLiteral("IT03M0123401234000000000777");
        f.corpi[0].rate[2].istituto = QStringLiteral("Altro Nome"); // the register's own IBAN
        gen::Fattura g;
        g.corpi[0].numero = QStringLiteral("FT/2");
        g.corpi[0].rate = {{QStringLiteral("MP05"),
                            QStringLiteral("2026-05-15"),
                            {},
                            {},
                            QStringLiteral("122.00"),
                            QStringLiteral("IT11A0000000000000000000002"),
                            QStringLiteral("Cassa Rurale")},
                           {QStringLiteral("MP05"),
                            QStringLiteral("2026-06-15"),
                            {},
                            {},
                            QStringLiteral("122.00"),
                            QStringLiteral("IT02L1234512345123456789012"),
                            {}}};
        const QStringList file{scrivi(QStringLiteral("f1.xml"), gen::xml(f)),
                               scrivi(QStringLiteral("f2.xml"), gen::xml(g))};
        Caricamento car = caricaFattureElettroniche(*c, file);
        QStringList banche;
        for (int r = 1; r < car.griglia.righe(); ++r)
            banche << car.griglia.cella(r, 10);
        QCOMPARE(banche,
                 (QStringList{"BANCA NUOVA DI PROVA", "IBAN IT03M0123401234000000000777", "BANCA DI PROVA",
                              "IBAN IT11A0000000000000000000002", "BANCA NUOVA DI PROVA"}));
        Colonne colonne = risolviColonne(car.griglia, Tipo::Fatture, scelteFatturaElettronica());
        aggiungiAnagrafica(colonne, car.griglia);
        std::atomic<bool> annulla{false};
        Esito e = importa(*c, Tipo::Fatture, car.griglia, colonne, annulla);
        QVERIFY2(e.errori.isEmpty() && e.guasto.isEmpty(), qPrintable(e.errori.join('\n') + e.guasto));
        QCOMPARE(
            e.avvisi,
            (QStringList{"Aggiunta all'anagrafica banche la banca BANCA NUOVA DI PROVA (IBAN "
                         "IT02L1234512345123456789012) del documento N° FT/101.",
                         "Aggiunta all'anagrafica banche la banca IBAN IT03M0123401234000000000777 (IBAN "
                         "IT03M0123401234000000000777) del documento N° FT/101.",
                         "Aggiunta all'anagrafica banche la banca IBAN IT11A0000000000000000000002 (IBAN "
                         "IT11A0000000000000000000002) del documento N° FT/2."}));
        const QString crediti =
            QStringLiteral("SELECT NumeroFattura, Banca FROM t_crediti ORDER BY NumeroFattura, Scadenza");
        const QString registro = QStringLiteral("SELECT Nome, IFNULL(IBAN, '') FROM t_banche ORDER BY ID");
        QCOMPARE(dump(*c, crediti),
                 QStringLiteral("FT/101|BANCA NUOVA DI PROVA\nFT/101|IBAN IT03M0123401234000000000777\n"
                                "FT/101|BANCA DI PROVA\nFT/2|IBAN IT11A0000000000000000000002\n"
                                "FT/2|BANCA NUOVA DI PROVA"));
        QCOMPARE(dump(*c, registro),
                 QStringLiteral("CASSA RURALE|IT11A0000000000000000000001\n"
                                "BANCA DI PROVA|IT60X0542811101000000123456\n"
                                "BANCA NUOVA DI PROVA|IT02L1234512345123456789012\n"
                                "IBAN IT03M0123401234000000000777|IT03M0123401234000000000777\n"
                                "IBAN IT11A0000000000000000000002|IT11A0000000000000000000002"));

        const QString prima = dump(*c, crediti);
        car = caricaFattureElettroniche(*c, file);
        e = importa(*c, Tipo::Fatture, car.griglia, colonne, annulla);
        QVERIFY(e.avvisi.isEmpty());
        QCOMPARE(c->scalar(QStringLiteral("SELECT COUNT(*) FROM t_banche")).toInt(), 5);
        QCOMPARE(dump(*c, crediti), prima);
    }

    // Credit notes, TD04 and TD08 alike, are left out with their lines; two instalments
    // of one document due the same day are one credit of their sum, beside the instalment
    // due another day.
    void creditNotesAndSameDayInstalments()
    {
        gen::Fattura td04, td08, rate;
        td04.corpi[0].tipo = QStringLiteral("TD04");
        td04.corpi[0].numero = QStringLiteral("NC/4\nRIGA 1: riga falsa"); // one line all the same
        td08.corpi[0].tipo = QStringLiteral("TD08");
        td08.corpi[0].numero = QStringLiteral("NC/8");
        td08.corpi[0].rate = {
            {QStringLiteral("MP05"), QStringLiteral("2026-04-30"), {}, {}, QStringLiteral("50.00"), {}}};
        rate.corpi[0].numero = QStringLiteral("FT/9");
        rate.corpi[0].condizioni = QStringLiteral("TP01");
        rate.corpi[0].rate = {
            {QStringLiteral("MP05"), QStringLiteral("2026-04-30"), {}, {}, QStringLiteral("100.00"), {}},
            {QStringLiteral("MP05"), QStringLiteral("2026-05-31"), {}, {}, QStringLiteral("30.00"), {}},
            {QStringLiteral("MP05"), QStringLiteral("2026-04-30"), {}, {}, QStringLiteral("50.55"), {}}};
        const Caricamento car =
            caricaFattureElettroniche(*c, {scrivi(QStringLiteral("nc4.xml"), gen::xml(td04)),
                                           scrivi(QStringLiteral("nc8.xml"), gen::xml(td08)),
                                           scrivi(QStringLiteral("ft9.xml"), gen::xml(rate))});
        QCOMPARE(
            car.scartati,
            (QStringList{
                "nc4.xml: documento N° NC/4\u240ARIGA 1: riga falsa del 31/03/2026 non importato: è una nota di "
                "credito (TD04).",
                "nc8.xml: documento N° NC/8 del 31/03/2026 non importato: è una nota di credito (TD08)."}));
        QStringList righe;
        for (int r = 1; r < car.griglia.righe(); ++r)
            righe << car.griglia.celle[r].mid(1, 4).join(QLatin1Char('|'));
        QCOMPARE(righe,
                 (QStringList{"FT/9|31/03/2026|30/04/2026|150,55", "FT/9|31/03/2026|31/05/2026|30,00"}));
        Colonne colonne = risolviColonne(car.griglia, Tipo::Fatture, scelteFatturaElettronica());
        aggiungiAnagrafica(colonne, car.griglia);
        std::atomic<bool> annulla{false};
        const Esito e = importa(*c, Tipo::Fatture, car.griglia, colonne, annulla);
        QVERIFY2(e.errori.isEmpty(), qPrintable(e.errori.join('\n')));
        const auto r = c->query(QStringLiteral("SELECT * FROM t_crediti ORDER BY Scadenza"));
        QCOMPARE(r.rows.size(), 2);
        QCOMPARE(r.value(0, QStringLiteral("Scadenza")).toDate(), QDate(2026, 4, 30));
        QCOMPARE(r.value(0, QStringLiteral("Importo")).value<Money>(), Money::fromCents(15055));
        QCOMPARE(r.value(1, QStringLiteral("Scadenza")).toDate(), QDate(2026, 5, 31));
        QCOMPARE(r.value(1, QStringLiteral("Importo")).value<Money>(), Money::fromCents(3000));
        QCOMPARE(r.value(1, QStringLiteral("ImportoTotale")).value<Money>(), Money::fromCents(18055));
    }

    // Every document left out is a line of its own with its own reason, whatever holds
    // it: a supplier's batch of invoices and a credit note, in a ZIP and signed; a batch of
    // the firm's own where an invoice goes in beside a credit note and a self-invoice.
    void everyDocumentLeftOutHasItsLine()
    {
        gen::Fattura fornitore;
        fornitore.cedenteIva = QStringLiteral("05555555555");
        fornitore.cedente = QStringLiteral("Fornitore Gamma srl");
        fornitore.corpi = {gen::Corpo{}, gen::Corpo{}, gen::Corpo{}};
        fornitore.corpi[0].numero = QStringLiteral("A-1");
        fornitore.corpi[1].numero = QStringLiteral("A-2");
        fornitore.corpi[1].tipo = QStringLiteral("TD04");
        fornitore.corpi[1].data = QStringLiteral("2026-04-02");
        fornitore.corpi[2].numero = QStringLiteral("A-3");
        gen::Fattura propria;
        propria.corpi = {gen::Corpo{}, gen::Corpo{}, gen::Corpo{}};
        propria.corpi[0].numero = QStringLiteral("FT/1");
        propria.corpi[1].numero = QStringLiteral("NC/1");
        propria.corpi[1].tipo = QStringLiteral("TD04");
        propria.corpi[2].numero = QStringLiteral("AF/1");
        propria.corpi[2].tipo = QStringLiteral("TD17");
        const QString zip = env->home() + QStringLiteral("/lotto.zip");
        QVERIFY(gen::zip(zip, {{QStringLiteral("IT05555555555_1.xml"), gen::xml(fornitore)},
                               {QStringLiteral("IT01234567890_1.xml"), gen::xml(propria)}}));
        const QByteArray firmato = gen::firma(gen::xml(fornitore), env->home());
        QVERIFY(!firmato.isEmpty());
        const Caricamento car =
            caricaFattureElettroniche(*c, {zip, scrivi(QStringLiteral("IT05555555555_1.xml.p7m"), firmato)});
        const QString ricevuta =
            QStringLiteral(" ricevuta dal fornitore Fornitore Gamma srl (P. IVA IT05555555555), "
                           "non emessa dall'azienda.");
        QCOMPARE(
            car.scartati,
            (QStringList{
                "lotto.zip/IT05555555555_1.xml: documento N° A-1 del 31/03/2026 non importato: è una "
                "fattura" +
                    ricevuta,
                "lotto.zip/IT05555555555_1.xml: documento N° A-2 del 02/04/2026 non importato: è una nota di "
                "credito (TD04)" +
                    ricevuta,
                "lotto.zip/IT05555555555_1.xml: documento N° A-3 del 31/03/2026 non importato: è una "
                "fattura" +
                    ricevuta,
                "lotto.zip/IT01234567890_1.xml: documento N° NC/1 del 31/03/2026 non importato: è una nota "
                "di "
                "credito (TD04).",
                "lotto.zip/IT01234567890_1.xml: documento N° AF/1 del 31/03/2026 non importato: è "
                "un'autofattura o un'integrazione (TD17), non un credito verso un cliente.",
                "IT05555555555_1.xml.p7m: documento N° A-1 del 31/03/2026 non importato: è una fattura" +
                    ricevuta,
                "IT05555555555_1.xml.p7m: documento N° A-2 del 02/04/2026 non importato: è una nota di "
                "credito "
                "(TD04)" +
                    ricevuta,
                "IT05555555555_1.xml.p7m: documento N° A-3 del 31/03/2026 non importato: è una fattura" +
                    ricevuta}));
        QCOMPARE(car.griglia.righe(), 2);
        QCOMPARE(car.griglia.cella(1, 1), QStringLiteral("FT/1"));
    }

    // A value too long for the register is its row's line, and the row goes whole: a
    // customer name of 300 characters refuses its credit; a tax code too long for the
    // client register, met after the credit was written, takes the credit back with it.
    // The other invoices of the ZIP are written.
    void longValuesUndoTheirRow()
    {
        gen::Fattura lungo, codice, buona;
        lungo.denominazione = QString(300, QLatin1Char('L'));
        lungo.corpi[0].numero = QStringLiteral("FT/L1");
        codice.denominazione = QStringLiteral("Delta srl");
        codice.clienteCF = QString(60, QLatin1Char('9'));
        codice.corpi[0].numero = QStringLiteral("FT/L2");
        codice.corpi[0].rate = {
            {QStringLiteral("MP99"), QStringLiteral("2026-04-30"), {}, {}, QStringLiteral("122.00"), {}}};
        buona.denominazione = QStringLiteral("Epsilon srl");
        buona.corpi[0].numero = QStringLiteral("FT/OK");
        const QString archivio = env->home() + QStringLiteral("/lunghi.zip");
        QVERIFY(gen::zip(archivio, {{QStringLiteral("a.xml"), gen::xml(lungo)},
                                    {QStringLiteral("b.xml"), gen::xml(codice)},
                                    {QStringLiteral("c.xml"), gen::xml(buona)}}));
        const Caricamento car = caricaFattureElettroniche(*c, {archivio});
        QCOMPARE(car.griglia.righe(), 4);
        Colonne colonne = risolviColonne(car.griglia, Tipo::Fatture, scelteFatturaElettronica());
        aggiungiAnagrafica(colonne, car.griglia);
        std::atomic<bool> annulla{false};
        const Esito e = importa(*c, Tipo::Fatture, car.griglia, colonne, annulla);
        QVERIFY2(e.guasto.isEmpty(), qPrintable(e.guasto));
        QCOMPARE(e.errori.size(), 2);
        QVERIFY2(e.errori[0].startsWith(QLatin1String("RIGA 1: ")) &&
                     e.errori[0].contains(QLatin1String("255")),
                 qPrintable(e.errori[0]));
        QVERIFY2(e.errori[1].startsWith(QLatin1String("RIGA 2: ")) &&
                     e.errori[1].contains(QLatin1String("CF")) && e.errori[1].contains(QLatin1String("50")),
                 qPrintable(e.errori[1]));
        QCOMPARE(e.scritte, 1);
        QCOMPARE(dump(*c, QStringLiteral("SELECT NumeroFattura, Cliente FROM t_crediti")),
                 QStringLiteral("FT/OK|EPSILON SRL"));
        QCOMPARE(dump(*c, QStringLiteral("SELECT RagioneSociale FROM t_clienti")),
                 QStringLiteral("EPSILON SRL"));
        QCOMPARE(
            c->scalar(QStringLiteral("SELECT COUNT(*) FROM t_parametri WHERE Modalita = 'MP99'")).toInt(), 0);
    }

    // What the register already holds of a client stays; what it leaves empty is filled.
    // A collected amount recorded by the clerk survives a second import of the invoice.
    void registerDataWins()
    {
        c->exec(QStringLiteral(
            "INSERT INTO t_clienti (RagioneSociale, Indirizzo, CAP, IVA) VALUES ('BETA S.P.A.', "
            "'PIAZZA DUOMO 1', '', NULL)"));
        const QString file = scrivi(QStringLiteral("uno.xml"), gen::xml(treRate()));
        Caricamento car = caricaFattureElettroniche(*c, {file});
        Colonne colonne = risolviColonne(car.griglia, Tipo::Fatture, scelteFatturaElettronica());
        aggiungiAnagrafica(colonne, car.griglia);
        std::atomic<bool> annulla{false};
        QCOMPARE(importa(*c, Tipo::Fatture, car.griglia, colonne, annulla).scritte, 3);
        QCOMPARE(
            dump(*c, QStringLiteral("SELECT RagioneSociale, Indirizzo, Localita, CAP, IVA FROM t_clienti")),
            QStringLiteral("BETA S.P.A.|PIAZZA DUOMO 1|MILANO|20121|09876543210"));
        c->exec(QStringLiteral(
            "UPDATE t_crediti SET Incassato = Importo, Residuo = 0, Pagato = 'SI', DataIncasso = "
            "'01/03/2026' WHERE Scadenza = '2026-02-28'"));
        car = caricaFattureElettroniche(*c, {file});
        QCOMPARE(importa(*c, Tipo::Fatture, car.griglia, colonne, annulla).scritte, 3);
        QCOMPARE(dump(*c, QStringLiteral("SELECT Pagato, DataIncasso FROM t_crediti ORDER BY Scadenza")),
                 QStringLiteral("SI|01/03/2026\nNO|\nNO|"));
    }

    // The invoice tells a public body (FPA12) and a private person (name, surname and a
    // personal tax code only); a business, or a sole trader with a VAT number, is left to
    // the default. A kind the clerk chose is never overwritten.
    void customerKind()
    {
        c->exec(QStringLiteral(
            "INSERT INTO t_clienti (RagioneSociale, TipoCliente) VALUES ('COMUNE DI TRENTO', 'IMPRESA'), "
            "('ASL DUE', NULL)"));
        QStringList file;
        const auto aggiungi = [&](gen::Fattura f, const QString& numero, const QString& nomeFile) {
            f.corpi[0].numero = numero;
            file << scrivi(nomeFile, gen::xml(f));
        };
        gen::Fattura pa;
        pa.versione = QStringLiteral("FPA12");
        pa.denominazione = QStringLiteral("Comune di Trento");
        aggiungi(pa, QStringLiteral("PA/1"), QStringLiteral("pa1.xml"));
        pa.denominazione = QStringLiteral("ASL Due");
        aggiungi(pa, QStringLiteral("PA/2"), QStringLiteral("pa2.xml"));
        pa.denominazione = QStringLiteral("Liceo Galilei");
        aggiungi(pa, QStringLiteral("PA/3"), QStringLiteral("pa3.xml"));
        gen::Fattura privato;
        privato.denominazione.clear();
        privato.nome = QStringLiteral("Mario");
        privato.cognome = QStringLiteral("Rossi");
        privato.clienteIva.clear();
        privato.clienteCF = QStringLiteral("RSSMRA80A01H501U");
        aggiungi(privato, QStringLiteral("P/1"), QStringLiteral("privato.xml"));
        // A sole trader: a person's name, but a VAT number too.
        gen::Fattura ditta = privato;
        ditta.nome = QStringLiteral("Luca");
        ditta.cognome = QStringLiteral("Bianchi");
        ditta.clienteIva = QStringLiteral("01111111111");
        ditta.clienteCF = QStringLiteral("BNCLCU70A01L378X");
        aggiungi(ditta, QStringLiteral("D/1"), QStringLiteral("ditta.xml"));
        aggiungi(gen::Fattura{}, QStringLiteral("B/1"), QStringLiteral("impresa.xml"));

        const Caricamento car = caricaFattureElettroniche(*c, file);
        Colonne colonne = risolviColonne(car.griglia, Tipo::Fatture, scelteFatturaElettronica());
        aggiungiAnagrafica(colonne, car.griglia);
        std::atomic<bool> annulla{false};
        QCOMPARE(importa(*c, Tipo::Fatture, car.griglia, colonne, annulla).scritte, 6);
        QCOMPARE(dump(*c, QStringLiteral("SELECT RagioneSociale, IFNULL(TipoCliente, '') FROM t_clienti "
                                         "ORDER BY RagioneSociale")),
                 QStringLiteral("ASL DUE|PA\nBETA S.P.A.|\nCOMUNE DI TRENTO|IMPRESA\nLICEO GALILEI|PA\n"
                                "LUCA BIANCHI|\nMARIO ROSSI|CONSUMATORE"));
    }

    // A foreign customer's placeholder CAP and province stay out of the register.
    void foreignCustomer()
    {
        gen::Fattura f = treRate();
        f.nazione = QStringLiteral("FR");
        f.cap = QStringLiteral("00000");
        f.provincia = QStringLiteral("EE");
        f.comune = QStringLiteral("Lyon");
        const Caricamento car =
            caricaFattureElettroniche(*c, {scrivi(QStringLiteral("fr.xml"), gen::xml(f))});
        QCOMPARE(car.griglia.celle[1].mid(12, 5),
                 (QStringList{"VIA ROMA, 10", "LYON", "", "", "FR09876543210"}));
    }

    // Loading wants the company's VAT number: without it a received invoice could not be
    // told from an issued one.
    void needsTheCompanyVatNumber()
    {
        c->exec(QStringLiteral("UPDATE t_societa SET IVA = ' '"));
        const QString file = scrivi(QStringLiteral("uno.xml"), gen::xml(treRate()));
        QVERIFY(erroreDi([&] { caricaFattureElettroniche(*c, {file}); })
                    .startsWith(QStringLiteral(
                        "Per importare le fatture elettroniche occorre la partita IVA dell'azienda")));
    }

    // From the command line: several files, the same count line and exit codes as every
    // import, the file-type caption saved with the delimiter and mapping of the other
    // document files untouched.
    void commandLine()
    {
        SalvaImpostazione(*c, Tipo::Fatture, QStringLiteral(".csv"), QStringLiteral("Virgola"));
        Scelte mia;
        mia.insert(QStringLiteral("NumeroFattura"), QStringLiteral("N. DOC"));
        SalvaMappatura(*c, Tipo::Fatture, mia);
        const QString archivio = env->home() + QStringLiteral("/fatture.zip");
        QVERIFY(gen::zip(archivio, tutti().mid(0, 2)));
        gen::Fattura nota;
        nota.corpi[0].tipo = QStringLiteral("TD04");
        const QString xml = scrivi(QStringLiteral("nota.xml"), gen::xml(nota));
        delete c;
        c = nullptr;
        // The tool keeps its settings and data under its own program folder's name: a copy of
        // the file, or its own Config.ini naming the same server database.
        QString suo;
        if (TestEnv::onServer()) {
            suo = sz::paths::LoadConnection();
            const QString ini = env->configHome() + QStringLiteral("/Scadenzio/Config/Config.ini");
            QVERIFY(QDir().mkpath(QFileInfo(ini).absolutePath()));
            QFile f(ini);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.write("[ConnectionString]\nstrConn=" + suo.toUtf8() + "\n") > 0);
        } else {
            suo = env->documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb");
            QVERIFY(QDir().mkpath(QFileInfo(suo).absolutePath()));
            QVERIFY(QFile::copy(sz::paths::defaultDatabasePath(), suo));
        }
        auto run = TestEnv::runCli({QStringLiteral("import"), QStringLiteral("invoices"), archivio, xml},
                                   env->home());
        QCOMPARE(run.code, 1);
        QCOMPARE(run.out, QStringLiteral("Importazione Documenti: 5 righe importate, 1 scartate.\n"));
        QCOMPARE(run.err.trimmed(),
                 QStringLiteral("nota.xml: documento N° 1 del 31/03/2026 non importato: è una nota "
                                "di credito (TD04)."));
        run = TestEnv::runCli({QStringLiteral("import"), QStringLiteral("invoices"), archivio}, env->home());
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(run.out, QStringLiteral("Importazione Documenti: 5 righe importate, 0 scartate.\n"));
        run = TestEnv::runCli({QStringLiteral("import"), QStringLiteral("clients"), archivio}, env->home());
        QCOMPARE(run.code, 2);
        run = TestEnv::runCli({QStringLiteral("import"), QStringLiteral("invoices"), archivio,
                               QStringLiteral("--map"), QStringLiteral("Note=X")},
                              env->home());
        QCOMPARE(run.code, 2);
        c = new sz::db::Connection(suo);
        QCOMPARE(c->scalar(QStringLiteral("SELECT COUNT(*) FROM t_crediti")).toInt(), 5);
        const Impostazione imp = CaricaImpostazione(*c, Tipo::Fatture);
        QCOMPARE(imp.estensione, QStringLiteral("Fattura elettronica (.xml .p7m .zip)"));
        QCOMPARE(imp.delimitatore, QStringLiteral("Virgola"));
        QCOMPARE(CaricaMappatura(*c, Tipo::Fatture).value(QStringLiteral("NumeroFattura")),
                 QStringLiteral("N. DOC"));

        // A bank added for an IBAN the register lacks is said after the count line.
        gen::Fattura conto;
        conto.corpi[0].numero = QStringLiteral("FT/77");
        conto.corpi[0].rate = {{QStringLiteral("MP05"), QStringLiteral("2026-05-15"), {}, {},
                                QStringLiteral("122.00"), QStringLiteral("IT02L1234512345123456789012"),
                                QStringLiteral("Banca del Conto")}};
        delete c;
        c = nullptr;
        run = TestEnv::runCli({QStringLiteral("import"), QStringLiteral("invoices"),
                               scrivi(QStringLiteral("conto.xml"), gen::xml(conto))},
                              env->home());
        QVERIFY2(run.code == 0, qPrintable(run.err));
        QCOMPARE(run.out, QStringLiteral("Importazione Documenti: 1 righe importate, 0 scartate.\n"
                                         "Aggiunta all'anagrafica banche la banca BANCA DEL CONTO (IBAN "
                                         "IT02L1234512345123456789012) del documento N° FT/77.\n"));
        c = new sz::db::Connection(suo);
        QCOMPARE(dump(*c, QStringLiteral("SELECT Banca FROM t_crediti WHERE NumeroFattura = 'FT/77'")),
                 QStringLiteral("BANCA DEL CONTO"));
    }

    // Mutated invoices, signed files and archives: every one gives its content or an
    // sz::Error.
    void mutatedFilesNeverCrash()
    {
        QRandomGenerator rng(20261207);
        const QByteArray xml = gen::xml(treRate());
        const QByteArray der = gen::firma(xml, env->home());
        QVERIFY(!der.isEmpty());
        // Markup edits break the structure; value edits (no '<' or '&') keep it well formed
        // and reach the date, amount and total rules.
        const QByteArray alfabetoXml =
            "<>/=\"' :&;#xX0123456789.-PpFatturaElettronicaBodyDettaglio\n\xC3\xA8\xFF";
        const QByteArray alfabetoValori = "0123456789.-+ :TZabcXYZ\xC3\xA8";
        QByteArray alfabetoBinario;
        for (int i = 0; i < 256; ++i)
            alfabetoBinario += char(i);
        const int volte = qEnvironmentVariableIntValue("SZ_FUZZ_RUNS") > 0
                              ? qEnvironmentVariableIntValue("SZ_FUZZ_RUNS")
                              : 4000;
        int fatture = 0, errori = 0, firmati = 0, rifiutati = 0;
        for (int i = 0; i < volte; ++i) {
            const QByteArray m =
                i % 2 ? TestEnv::mutate(xml, rng, alfabetoXml, 8, true) : nelTesto(xml, rng, alfabetoValori);
            try {
                auto r = fpa::leggiFattura(m, QStringLiteral("m.xml"));
                if (std::holds_alternative<fpa::Fattura>(r)) {
                    for (const fpa::Documento& d : std::get<fpa::Fattura>(r).documenti) {
                        d.importoTotale();
                        for (const fpa::Rata& rt : d.rate)
                            rt.dataScadenza(d.dataDocumento());
                    }
                }
                ++fatture;
            } catch (const sz::Error&) {
                ++errori;
            }
            const QByteArray p =
                TestEnv::mutate(i % 4 == 0 ? der.toBase64() : der, rng, alfabetoBinario, 6, true);
            try {
                fpa::estraiFirmato(p, QStringLiteral("m.p7m"));
                ++firmati;
            } catch (const sz::Error&) {
                ++rifiutati;
            }
        }
        qInfo("%d XML mutati: %d letti, %d rifiutati; %d p7m mutati: %d estratti, %d rifiutati", volte,
              fatture, errori, volte, firmati, rifiutati);
        QCOMPARE(fatture + errori, volte);
        QVERIFY(fatture > 0 && errori > 0 && rifiutati > 0);

        // Archives: the directory and the compressed data damaged.
        const QString archivio = env->home() + QStringLiteral("/m.zip");
        QVERIFY(gen::zip(archivio, {{QStringLiteral("a.xml"), xml}, {QStringLiteral("b.xml.p7m"), der}}));
        QFile zf(archivio);
        QVERIFY(zf.open(QIODevice::ReadOnly));
        const QByteArray zip = zf.readAll();
        int aperti = 0, voci = 0, chiusi = 0;
        const int volteZip = volte / 4;
        for (int i = 0; i < volteZip; ++i) {
            const QByteArray m = TestEnv::mutate(zip, rng, alfabetoBinario, 4, i % 2 == 0);
            try {
                fpa::leggiZip(
                    m, QStringLiteral("m.zip"),
                    [&](const QString&, const QByteArray& d) {
                        ++voci;
                        try {
                            fpa::leggiFattura(fpa::sembraXml(d) ? d
                                                                : fpa::estraiFirmato(d, QStringLiteral("v")),
                                              QStringLiteral("v"));
                        } catch (const sz::Error&) {
                        }
                    },
                    [&](const QString&, const QString&) { ++voci; });
                ++aperti;
            } catch (const sz::Error&) {
                ++chiusi;
            }
        }
        qInfo("%d ZIP mutati: %d aperti (%d voci), %d rifiutati", volteZip, aperti, voci, chiusi);
        QCOMPARE(aperti + chiusi, volteZip);
    }
};

QTEST_GUILESS_MAIN(TestEinvoices)
#include "tst_einvoices.moc"
