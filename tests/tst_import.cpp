// Importing clients and issued documents: the preview grid, the saved settings and
// mapping with their column resolution, the row rules and messages of both kinds, the
// run's cancel and failure behaviour (a row undone whole, a full disk), control
// characters, cells a reader could not read, and the safety copy with its restore.
#include "ImportazioneLogic.h"
#include "TestEnv.h"

#include "scadenzio/Money.h"
#include "scadenzio/Paths.h"

#include <QProcess>
#include <QtTest>

using namespace sz::importazione;
using sz::Money;

namespace {

Griglia griglia(const char* csv)
{
    return grigliaDa(sz::sheets::parseDelimited(QByteArray(csv), QLatin1Char(';')));
}

Scelte tutte(Tipo tipo)
{
    // Every field mapped on the header of its own name.
    Scelte s;
    for (const Campo& c : campi(tipo))
        s.insert(c.mappatura, c.mappatura.toUpper());
    return s;
}

const char* intestazioneFatture = "NUMEROFATTURA;DATAFATTURA;SCADENZA;IMPORTO;IMPORTOINCASSATO;DATAINCASSO;"
                                  "MODALITAPAGAMENTO;DESTINATARIOFATTURA;CLIENTE;BANCA;NOTE\n";

Esito importaFatture(sz::db::Connection& c, const QByteArray& righe)
{
    const Griglia g = griglia((QByteArray(intestazioneFatture) + righe).constData());
    std::atomic<bool> annulla{false};
    return importa(c, Tipo::Fatture, g, risolviColonne(g, Tipo::Fatture, tutte(Tipo::Fatture)), annulla);
}

QVariant valore(sz::db::Connection& c, const QString& sql)
{
    return c.scalar(sql);
}

// The first column of the rows, in their order and joined by sep; a null is left out.
QString elenco(sz::db::Connection& c, const QString& sql, const QString& sep = QStringLiteral(","))
{
    QStringList valori;
    for (const auto& r : c.query(sql).rows)
        if (!r[0].isNull())
            valori << r[0].toString();
    return valori.join(sep);
}

// The database the command-line tool works on, which keeps its settings and data under its
// own program folder's name: a copy of the test's file, or its own Config.ini naming the
// same server database. Empty when it could not be set up.
QString databaseDelComando(const TestEnv& env)
{
    if (TestEnv::onServer()) {
        const QString uri = sz::paths::LoadConnection();
        const QString ini = env.configHome() + QStringLiteral("/Scadenzio/Config/Config.ini");
        QFile f(ini);
        if (!QDir().mkpath(QFileInfo(ini).absolutePath()) || !f.open(QIODevice::WriteOnly) ||
            f.write("[ConnectionString]\nstrConn=" + uri.toUtf8() + "\n") <= 0)
            return {};
        return uri;
    }
    const QString suo = env.documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb");
    if (!QDir().mkpath(QFileInfo(suo).absolutePath()) || !QFile::copy(sz::paths::defaultDatabasePath(), suo))
        return {};
    return suo;
}

} // namespace

class TestImport : public QObject
{
    Q_OBJECT

    TestEnv* env = nullptr;
    sz::db::Connection* c = nullptr;

private slots:
    void init()
    {
        env = new TestEnv;
        c = new sz::db::Connection(env->installDatabase());
    }
    void cleanup()
    {
        delete c;
        delete env;
    }

    // Row numbers in column 0, upper case and trimmed cells; the grid is as wide as the
    // widest row while each row keeps its own cells (a cell past its end reads empty); a
    // narrower file keeps the columns the grid already had.
    void previewGrid()
    {
        const Griglia g = griglia("Ragione Sociale; Città \n rossi srl;forlì;x\n\n");
        QCOMPARE(g.righe(), 3);
        QCOMPARE(g.colonne, 4);
        QCOMPARE(g.celle[0], (QStringList{"", "RAGIONE SOCIALE", "CITTÀ"}));
        QCOMPARE(g.celle[1], (QStringList{"1", "ROSSI SRL", "FORLÌ", "X"}));
        QCOMPARE(g.cella(0, 3), QString());
        QCOMPARE(g.cella(2, 1), QString());
        QCOMPARE(g.cella(2, 0), QStringLiteral("2"));
        QCOMPARE(grigliaDa(sz::sheets::parseDelimited("A\n", QLatin1Char(';')), 6).colonne, 6);

        // One wide row among many short ones costs its own cells only, and the column
        // of a title is still found past the short rows.
        QByteArray largo = QByteArray(900, ';') + "ULTIMA\n";
        for (int i = 0; i < 1500; ++i)
            largo += "\n";
        const Griglia l = grigliaDa(sz::sheets::parseDelimited(largo, QLatin1Char(';')));
        QCOMPARE(l.colonne, 902);
        qsizetype celle = 0;
        for (const QStringList& r : l.celle)
            celle += r.size();
        QVERIFY2(celle < 20000, qPrintable(QString::number(celle)));
        QCOMPARE(
            risolviColonne(l, Tipo::Clienti, {{QStringLiteral("RagioneSociale"), QStringLiteral("ultima")}})
                .value(QStringLiteral("RagioneSociale")),
            901);
    }

    // First use has nothing saved; saving creates one row per kind and restores it; the
    // last column holding the chosen text wins, header or data alike.
    void settingsAndMapping()
    {
        QVERIFY(!CaricaImpostazione(*c, Tipo::Clienti).trovata);
        QVERIFY(CaricaMappatura(*c, Tipo::Clienti).isEmpty());
        SalvaImpostazione(*c, Tipo::Clienti, QStringLiteral(".csv"), QStringLiteral("|"));
        SalvaImpostazione(*c, Tipo::Clienti, QStringLiteral(".xls .xlsx"), QString());
        SalvaImpostazione(*c, Tipo::Fatture, QStringLiteral(".txt"), QStringLiteral("Tabulazione"));
        QCOMPARE(valore(*c, QStringLiteral("SELECT COUNT(*) FROM t_parametriImportazioni")).toInt(), 2);
        const Impostazione i = CaricaImpostazione(*c, Tipo::Clienti);
        QCOMPARE(i.estensione, QStringLiteral(".xls .xlsx"));
        QCOMPARE(i.delimitatore, QString(""));
        QCOMPARE(carattereDelimitatore(CaricaImpostazione(*c, Tipo::Fatture).delimitatore),
                 QLatin1Char('\t'));
        QCOMPARE(carattereDelimitatore(QStringLiteral("|")), QLatin1Char('|'));

        Scelte s{{QStringLiteral("RagioneSociale"), QStringLiteral("NOME")},
                 {QStringLiteral("Note"), QString()}};
        SalvaMappatura(*c, Tipo::Clienti, s);
        s.insert(QStringLiteral("CAP"), QStringLiteral("cap"));
        SalvaMappatura(*c, Tipo::Clienti, s);
        QCOMPARE(valore(*c, QStringLiteral("SELECT COUNT(*) FROM t_mappaturaImportazioniClienti")).toInt(),
                 1);
        const Scelte letta = CaricaMappatura(*c, Tipo::Clienti);
        QCOMPARE(letta.value(QStringLiteral("RagioneSociale")), QStringLiteral("NOME"));
        QCOMPARE(letta.value(QStringLiteral("CAP")), QStringLiteral("cap"));
        QCOMPARE(letta.value(QStringLiteral("Telefono")), QString(""));

        const Griglia g = griglia("NOME;CAP;NOME;X\nA;1;B;NOTE\n");
        const Colonne col = risolviColonne(g, Tipo::Clienti,
                                           {{QStringLiteral("RagioneSociale"), QStringLiteral("nome")},
                                            {QStringLiteral("CAP"), QStringLiteral("CAP")},
                                            {QStringLiteral("Telefono"), QStringLiteral("NOTE")},
                                            {QStringLiteral("Fax"), QStringLiteral("MANCA")}});
        QCOMPARE(col.value(QStringLiteral("RagioneSociale")), 3);
        QCOMPARE(col.value(QStringLiteral("CAP")), 2);
        QCOMPARE(col.value(QStringLiteral("Telefono")), 4);
        QCOMPARE(col.value(QStringLiteral("Fax")), -1);
        QCOMPARE(col.value(QStringLiteral("Mail1")), -1);
    }

    // The client checks and their messages in order; update by name keeps what the
    // file leaves empty; mail in lower case; twice is an update.
    void clientRows()
    {
        const char* csv = "RAGIONESOCIALE;INDIRIZZO;CAP;PROVINCIA;MAIL1;TELEFONO\n"
                          "Rossi srl;Via Roma 1;20100;MI;Info@Rossi.IT;02 1\n"
                          "Verdi;;2010;MI;;\n"
                          ";;123456;MIL;;\n"
                          "Bianchi;;;;;\n";
        const Griglia g = griglia(csv);
        std::atomic<bool> annulla{false};
        Esito e =
            importa(*c, Tipo::Clienti, g, risolviColonne(g, Tipo::Clienti, tutte(Tipo::Clienti)), annulla);
        QCOMPARE(e.errori, (QStringList{"RIGA 2: CAP non valido.", "RIGA 3: Ragione Sociale nulla.",
                                        "RIGA 3: CAP non valido.", "RIGA 3: Provincia non valida."}));
        QCOMPARE(e.scritte, 2);
        QCOMPARE(valore(*c, QStringLiteral("SELECT Mail1 FROM t_clienti WHERE RagioneSociale = 'ROSSI SRL'"))
                     .toString(),
                 QStringLiteral("info@rossi.it"));

        const Griglia g2 = griglia("RAGIONESOCIALE;TELEFONO\nROSSI SRL;333\n");
        e = importa(*c, Tipo::Clienti, g2, risolviColonne(g2, Tipo::Clienti, tutte(Tipo::Clienti)), annulla);
        QVERIFY(e.errori.isEmpty());
        QCOMPARE(
            valore(*c, QStringLiteral("SELECT COUNT(*) FROM t_clienti WHERE RagioneSociale = 'ROSSI SRL'"))
                .toInt(),
            1);
        const auto r = c->query(QStringLiteral("SELECT * FROM t_clienti WHERE RagioneSociale = 'ROSSI SRL'"));
        QCOMPARE(r.value(0, QStringLiteral("Telefono")).toString(), QStringLiteral("333"));
        QCOMPARE(r.value(0, QStringLiteral("Indirizzo")).toString(), QStringLiteral("VIA ROMA 1"));
        QCOMPARE(r.value(0, QStringLiteral("Mail1")).toString(), QStringLiteral("info@rossi.it"));
    }

    // Amount texts, the seven messages in order, money arithmetic, totals and state of
    // an invoice of two instalments, the client and payment mode brought into being.
    void invoiceRows()
    {
        c->exec(QStringLiteral("INSERT INTO t_banche (Nome) VALUES ('BANCA UNO')"));
        Esito e = importaFatture(*c, "1;01/02/2026;28/02/2026;1.234,50;;;NUOVA MODALITA;;Alfa Srl;;\n"
                                     "1;'01/02/2026;'31/03/2026;1234.56;1234.56;;;;Alfa Srl;BANCA UNO;\n"
                                     "2;01/02/2026;28/02/2026;21.474.836,47;21.474.836,48;;;;Beta;;\n"
                                     ";;31/02/2026;10 €;;;;;;ALTRA BANCA;\n"
                                     "3;01/02/2026;28/02/2026;-100,00;40;;;Solo Destinatario;;;\n");
        QCOMPARE(
            e.errori,
            (QStringList{"RIGA 3: Importo Incassato non valido.", "RIGA 4: Cliente nullo.",
                         "RIGA 4: Numero Fattura nulla.", "RIGA 4: Data Fattura nulla o non valida.",
                         "RIGA 4: Scadenza Fattura nulla o non valida.",
                         "RIGA 4: Banca non presente in anagrafica banche.", "RIGA 4: Importo non valido."}));
        QCOMPARE(e.scritte, 3);
        auto riga = [&](const char* where) {
            return c->query(QStringLiteral("SELECT * FROM t_crediti WHERE %1").arg(QLatin1String(where)));
        };
        auto r = riga("NumeroFattura = '1' AND Scadenza = '2026-02-28'");
        QCOMPARE(r.value(0, QStringLiteral("Importo")).value<Money>(), Money::fromCents(123450));
        QCOMPARE(r.value(0, QStringLiteral("Pagato")).toString(), QStringLiteral("NO"));
        QCOMPARE(r.value(0, QStringLiteral("Banca")).toString(),
                 QStringLiteral("BANCA UNO")); // the first bank
        QCOMPARE(r.value(0, QStringLiteral("ImportoTotale")).value<Money>(),
                 Money::fromCents(123450 + 12345600));
        QCOMPARE(r.value(0, QStringLiteral("Stato")).toString(), QStringLiteral("APERTA"));
        r = riga("NumeroFattura = '1' AND Scadenza = '2026-03-31'");
        QCOMPARE(r.value(0, QStringLiteral("Importo")).value<Money>(), Money::fromCents(12345600));
        QCOMPARE(r.value(0, QStringLiteral("Pagato")).toString(), QStringLiteral("SI"));
        r = riga("NumeroFattura = '3'");
        QCOMPARE(r.value(0, QStringLiteral("Cliente")).toString(), QStringLiteral("SOLO DESTINATARIO"));
        QCOMPARE(r.value(0, QStringLiteral("Residuo")).value<Money>(), Money::fromCents(-14000));
        QCOMPARE(r.value(0, QStringLiteral("Pagato")).toString(), QStringLiteral("PARZ."));
        QCOMPARE(
            valore(*c, QStringLiteral("SELECT COUNT(*) FROM t_clienti WHERE RagioneSociale IN ('ALFA SRL', "
                                      "'SOLO DESTINATARIO')"))
                .toInt(),
            2);
        QCOMPARE(
            valore(*c, QStringLiteral("SELECT Sollecito3 FROM t_parametri WHERE Modalita = 'NUOVA MODALITA'"))
                .toInt(),
            30);

        // The first instalment paid too: the invoice closes. Twice the same file adds no row.
        e = importaFatture(*c, "1;01/02/2026;28/02/2026;;1.234,50;05/03/2026;;;Alfa Srl;;\n");
        QVERIFY2(e.errori.isEmpty(), qPrintable(e.errori.join('\n')));
        QCOMPARE(
            valore(*c, QStringLiteral(
                           "SELECT COUNT(*) FROM t_crediti WHERE NumeroFattura = '1' AND Stato = 'CHIUSA'"))
                .toInt(),
            2);
        r = riga("NumeroFattura = '1' AND Scadenza = '2026-02-28'");
        QCOMPARE(r.value(0, QStringLiteral("Cliente")).toString(), QStringLiteral("ALFA SRL"));
        QCOMPARE(r.value(0, QStringLiteral("ModalitaPagamento")).toString(),
                 QStringLiteral("NUOVA MODALITA"));
        QCOMPARE(valore(*c, QStringLiteral("SELECT COUNT(*) FROM t_crediti")).toInt(), 3);
    }

    // Control characters never reach the register: dropped from one-line fields (a line
    // break there is a blank), kept as line breaks in notes; a mail address holding one is
    // refused, its row one line with the characters written out.
    void controlCharacters()
    {
        const QChar nul(0), esc(0x1B), rlo(0x202E);
        QCOMPARE(senzaControlli(QStringLiteral("FT/7") + nul + QStringLiteral("X") + esc, false),
                 QStringLiteral("FT/7X"));
        QCOMPARE(senzaControlli(QStringLiteral("Via Roma 1\r\n\tScala B"), false),
                 QStringLiteral("Via Roma 1 Scala B"));
        QCOMPARE(senzaControlli(QStringLiteral("uno\r\ndue\rtre") + QChar(0x2028) + QStringLiteral("quattro"),
                                true),
                 QStringLiteral("uno\ndue\ntre\nquattro"));
        QCOMPARE(senzaControlli(rlo + QStringLiteral("fdp.exe"), false), QStringLiteral("fdp.exe"));
        QCOMPARE(visibile(QStringLiteral("a\r\nb") + esc + rlo),
                 QStringLiteral("a\u240D\u240Ab<U+001B><U+202E>"));

        const Griglia clienti = grigliaDa(
            {{"RAGIONESOCIALE", "INDIRIZZO", "MAIL1", "MAIL2"},
             {QStringLiteral("Rossi") + nul + QStringLiteral(" srl"), "Via Roma 1\r\nScala B", "a@b.it", ""},
             {"Verdi", "", "a@b.it>\r\nRCPT TO:<x@evil.test>",
              QStringLiteral("c@d.it") + esc + QStringLiteral("x")},
             {rlo + QStringLiteral("Bianchi"), "", "", "info@bianchi.it"}});
        std::atomic<bool> annulla{false};
        Esito e = importa(*c, Tipo::Clienti, clienti,
                          risolviColonne(clienti, Tipo::Clienti, tutte(Tipo::Clienti)), annulla);
        QCOMPARE(e.errori,
                 QStringList{QStringLiteral(
                     "RIGA 2: indirizzo mail non valido, contiene caratteri di controllo (Mail #1 "
                     "\"a@b.it>\u240D\u240Arcpt to:<x@evil.test>\"; Mail #2 \"c@d.it<U+001B>x\").")});
        QCOMPARE(e.scritte, 2);
        QCOMPARE(
            elenco(*c,
                   QStringLiteral("SELECT RagioneSociale || '|' || COALESCE(Indirizzo, '') FROM t_clienti "
                                  "ORDER BY RagioneSociale"),
                   QStringLiteral("/")),
            QStringLiteral("BIANCHI|/ROSSI SRL|VIA ROMA 1 SCALA B"));

        const Griglia fatture =
            grigliaDa({QString::fromLatin1(intestazioneFatture).trimmed().split(QLatin1Char(';')),
                       {QStringLiteral("FT/7") + nul + QStringLiteral("X"), "01/02/2026", "28/02/2026", "10",
                        "", "", "", "", QStringLiteral("Alfa") + esc, "", "prima riga\r\nseconda riga"}});
        e = importa(*c, Tipo::Fatture, fatture, risolviColonne(fatture, Tipo::Fatture, tutte(Tipo::Fatture)),
                    annulla);
        QVERIFY2(e.errori.isEmpty(), qPrintable(e.errori.join('\n')));
        const auto r = c->query(QStringLiteral("SELECT NumeroFattura, Cliente, Note FROM t_crediti"));
        QCOMPARE(r.value(0, QStringLiteral("NumeroFattura")).toString(), QStringLiteral("FT/7X"));
        QCOMPARE(r.value(0, QStringLiteral("Cliente")).toString(), QStringLiteral("ALFA"));
        QCOMPARE(r.value(0, QStringLiteral("Note")).toString(), QStringLiteral("PRIMA RIGA\nSECONDA RIGA"));
    }

    // A value too long for its column is that row's line and the run goes on; a client
    // CSV whose quoted field holds a line break is one client, not two.
    void longValuesAndQuotedLineBreaks()
    {
        const Esito e = importaFatture(*c, "1;01/02/2026;28/02/2026;10;;;;;Alfa;;" + QByteArray(300, 'n') +
                                               "\n2;01/02/2026;28/02/2026;20;;;;;Alfa;;breve\n");
        QCOMPARE(e.errori.size(), 1);
        QVERIFY2(e.errori[0].startsWith(QLatin1String("RIGA 1: ")) &&
                     e.errori[0].contains(QLatin1String("Note")) &&
                     e.errori[0].contains(QLatin1String("255")),
                 qPrintable(e.errori[0]));
        QVERIFY(e.guasto.isEmpty());
        QCOMPARE(e.scritte, 1);
        QCOMPARE(elenco(*c, QStringLiteral("SELECT NumeroFattura FROM t_crediti")),
                 QStringLiteral("2"));

        const Griglia g = grigliaDa(sz::sheets::parseDelimited(
            "Ragione Sociale;Indirizzo;Mail\r\n\"Rossi srl\";\"Via Roma 1\r\nScala B\";info@rossi.it\r\n"
            "Verdi;\"Piazza \"\"Duomo\"\"\nInterno 2\";\r\n",
            QLatin1Char(';')));
        std::atomic<bool> annulla{false};
        const Esito clienti =
            importa(*c, Tipo::Clienti, g,
                    risolviColonne(g, Tipo::Clienti,
                                   {{QStringLiteral("RagioneSociale"), QStringLiteral("RAGIONE SOCIALE")},
                                    {QStringLiteral("Indirizzo"), QStringLiteral("INDIRIZZO")},
                                    {QStringLiteral("Mail1"), QStringLiteral("MAIL")}}),
                    annulla);
        QVERIFY2(clienti.errori.isEmpty(), qPrintable(clienti.errori.join('\n')));
        QCOMPARE(
            elenco(*c,
                   QStringLiteral("SELECT RagioneSociale || '|' || Indirizzo || '|' || COALESCE(Mail1, '') "
                                  "FROM t_clienti ORDER BY ID"),
                   QStringLiteral("/")),
            QStringLiteral("ROSSI SRL|VIA ROMA 1 SCALA B|info@rossi.it/VERDI|PIAZZA \"DUOMO\" INTERNO 2|"));
    }

    // A cell the reader could not read (an .xls formula without its value) refuses the row
    // that maps it, with its own line, in the logic and on the command line: never an
    // empty amount, which would be a credit of € 0,00 paid. A cell no field maps is no
    // reason to refuse its row.
    void unreadableCellsRefuseTheirRows()
    {
        const QString xls = env->home() + QStringLiteral("/fatture.xls");
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"),
                 QStringLiteral(
                     "import sys, xlwt\n"
                     "b = xlwt.Workbook(); s = b.add_sheet('a')\n"
                     "for j, t in enumerate(['NUMEROFATTURA', 'DATAFATTURA', 'SCADENZA', 'IMPORTO', "
                     "'CLIENTE', 'NOTE']): s.write(0, j, t)\n"
                     "righe = [['1', '01/02/2026', '28/02/2026', xlwt.Formula('10+5'), 'ALFA', ''],\n"
                     "         ['2', '01/02/2026', '28/02/2026', '100,00', 'ALFA', ''],\n"
                     "         ['3', '01/02/2026', xlwt.Formula('\"28/02/2026\"'), '20,00', 'BETA', ''],\n"
                     "         ['4', '01/02/2026', '28/02/2026', '30,00', 'BETA', xlwt.Formula('\"x\"')]]\n"
                     "for i, r in enumerate(righe):\n"
                     "    for j, v in enumerate(r): s.write(i + 1, j, v)\n"
                     "b.save(sys.argv[1])\n"),
                 xls});
        QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
        const Caricamento car = caricaFile(xls, TipoFile::Foglio, QChar());
        QVERIFY(!car.avviso.isEmpty());
        const Scelte mappa{{QStringLiteral("NumeroFattura"), QStringLiteral("NUMEROFATTURA")},
                           {QStringLiteral("DataFattura"), QStringLiteral("DATAFATTURA")},
                           {QStringLiteral("Scadenza"), QStringLiteral("SCADENZA")},
                           {QStringLiteral("Importo"), QStringLiteral("IMPORTO")},
                           {QStringLiteral("Cliente"), QStringLiteral("CLIENTE")}};
        std::atomic<bool> annulla{false};
        const Esito e = importa(*c, Tipo::Fatture, car.griglia,
                                risolviColonne(car.griglia, Tipo::Fatture, mappa), annulla);
        const QStringList attese{
            QStringLiteral(
                "RIGA 1: Importo (cella D2): il valore non si è potuto leggere dal file, la riga non "
                "è stata importata."),
            QStringLiteral(
                "RIGA 3: Scadenza (cella C4): il valore non si è potuto leggere dal file, la riga non "
                "è stata importata.")};
        QCOMPARE(e.errori, attese);
        QCOMPARE(e.scritte, 2);
        QCOMPARE(elenco(*c, QStringLiteral("SELECT NumeroFattura FROM t_crediti ORDER BY NumeroFattura")),
                 QStringLiteral("2,4"));

        // The command line alike: the warning, the rows' lines, the others written.
        delete c;
        c = nullptr;
        const QString suo = databaseDelComando(*env);
        QVERIFY(!suo.isEmpty());
        {
            sz::db::Connection suoDb(suo);
            suoDb.exec(QStringLiteral("DELETE FROM t_crediti"));
        }
        QStringList args{QStringLiteral("import"), QStringLiteral("invoices"), xls};
        for (auto it = mappa.begin(); it != mappa.end(); ++it)
            args << QStringLiteral("--map") << it.key() + QLatin1Char('=') + it.value();
        const auto run = TestEnv::runCli(args, env->home());
        QCOMPARE(run.code, 1);
        QCOMPARE(run.out, QStringLiteral("Importazione Documenti: 2 righe importate, 2 scartate.\n"));
        QStringList righe = run.err.trimmed().split(QLatin1Char('\n'));
        QVERIFY2(righe.size() == 3 && righe[0].startsWith(QLatin1String("ATTENZIONE: 3 celle con formule")),
                 qPrintable(run.err));
        QCOMPARE(righe.mid(1), attese);
        c = new sz::db::Connection(suo);
        QCOMPARE(
            valore(*c, QStringLiteral("SELECT COUNT(*) FROM t_crediti WHERE Importo = 0 OR Pagato = 'SI'"))
                .toInt(),
            0);

        // An .xlsx cell that refers to a shared string the file does not hold: its row's line.
        const QString xlsx = env->home() + QStringLiteral("/clienti.xlsx");
        p.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"),
                 QStringLiteral(
                     "import sys, zipfile, openpyxl\n"
                     "wb = openpyxl.Workbook(); ws = wb.active\n"
                     "ws.append(['Ragione Sociale', 'Citta']); ws.append(['Uno', 'Padova']); "
                     "ws.append(['Due', 'Venezia'])\n"
                     "wb.save(sys.argv[1] + '.tmp')\n"
                     "zi = zipfile.ZipFile(sys.argv[1] + '.tmp'); zo = zipfile.ZipFile(sys.argv[1], 'w')\n"
                     "for n in zi.namelist():\n"
                     "    d = zi.read(n)\n"
                     "    if n == 'xl/worksheets/sheet1.xml':\n"
                     "        i = d.index(b'<c r=\"B3\"'); j = d.index(b'</c>', i) + 4\n"
                     "        d = d[:i] + b'<c r=\"B3\" t=\"s\"><v>999</v></c>' + d[j:]\n"
                     "    zo.writestr(n, d)\n"
                     "zo.close()\n"),
                 xlsx});
        QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
        const Caricamento fogli = caricaFile(xlsx, TipoFile::Foglio, QChar());
        const Esito clienti =
            importa(*c, Tipo::Clienti, fogli.griglia,
                    risolviColonne(fogli.griglia, Tipo::Clienti,
                                   {{QStringLiteral("RagioneSociale"), QStringLiteral("RAGIONE SOCIALE")},
                                    {QStringLiteral("Localita"), QStringLiteral("CITTA")}}),
                    annulla);
        QCOMPARE(clienti.errori,
                 QStringList{QStringLiteral("RIGA 2: Località (cella B3): il valore non si è potuto "
                                            "leggere dal file, la riga non è stata importata.")});
        QCOMPARE(elenco(*c, QStringLiteral("SELECT RagioneSociale || '|' || Localita FROM t_clienti")),
                 QStringLiteral("UNO|PADOVA"));
    }

    // A full disk stops the run saying so, with the rows written; the count is what the
    // database really holds, and no half-written batch stays.
    void fullDisk()
    {
        if (TestEnv::onServer())
            QSKIP("the database file's page limit stands for a full disk: a server has no file to fill");
        const auto clienti = [](char prefisso, int n) {
            QByteArray csv = "RAGIONESOCIALE;INDIRIZZO\n";
            for (int i = 0; i < n; ++i)
                csv += prefisso + QByteArray::number(i) + ';' + QByteArray(200, 'x') + '\n';
            return griglia(csv.constData());
        };
        const auto pagine = [&] { return valore(*c, QStringLiteral("PRAGMA page_count")).toLongLong(); };
        std::atomic<bool> annulla{false};
        const qint64 inizio = pagine();
        Griglia g = clienti('A', 1000);
        Esito e =
            importa(*c, Tipo::Clienti, g, risolviColonne(g, Tipo::Clienti, tutte(Tipo::Clienti)), annulla);
        QCOMPARE(e.scritte, 1000);
        const qint64 crescita = pagine() - inizio;
        // Room for about one and a half thousand more rows: the second batch meets the limit.
        c->query(QStringLiteral("PRAGMA max_page_count = %1").arg(pagine() + crescita * 3 / 2));
        g = clienti('B', 4000);
        e = importa(*c, Tipo::Clienti, g, risolviColonne(g, Tipo::Clienti, tutte(Tipo::Clienti)), annulla);
        QVERIFY2(e.guasto.startsWith(
                     QStringLiteral("il disco che contiene il database è pieno: l'importazione si è "
                                    "fermata alla riga ")),
                 qPrintable(e.guasto));
        const qint64 scritte =
            valore(*c, QStringLiteral("SELECT COUNT(*) FROM t_clienti WHERE RagioneSociale LIKE 'B%'"))
                .toLongLong();
        QVERIFY2(scritte >= 1000 && scritte < 4000, qPrintable(QString::number(scritte)));
        QCOMPARE(e.scritte, int(scritte));
        QVERIFY2(e.guasto.contains(QStringLiteral("le righe scritte sono %1.").arg(scritte)),
                 qPrintable(e.guasto));
        QVERIFY(!c->inTransaction());
    }

    // Cancel before the first row writes nothing; a failure at row n keeps the rows
    // before it; the restore brings every table back.
    void cancelFailureAndRestore()
    {
        const QString root = sz::paths::dataRoot();
        copiaDiSicurezza(*c, root);
        QVERIFY(QFile::exists(percorsoCopia(root)));
        const Griglia g = griglia("RAGIONESOCIALE\nA\nB\nC\n");
        const Colonne col = risolviColonne(g, Tipo::Clienti, tutte(Tipo::Clienti));
        std::atomic<bool> annulla{true};
        Esito e = importa(*c, Tipo::Clienti, g, col, annulla);
        QVERIFY(e.annullata);
        QCOMPARE(valore(*c, QStringLiteral("SELECT COUNT(*) FROM t_clienti")).toInt(), 0);

        annulla = false;
        int visti = 0;
        e = importa(*c, Tipo::Clienti, g, col, annulla, [&](int fatte, int totale) {
            visti = fatte;
            QCOMPARE(totale, 3);
            if (fatte == 1) annulla = true;
        });
        QCOMPARE(visti, 1);
        QCOMPARE(valore(*c, QStringLiteral("SELECT COUNT(*) FROM t_clienti")).toInt(), 1);

        // Another connection sees the restored data, with no reopening.
        sz::db::Connection altra(c->path());
        QCOMPARE(altra.scalar(QStringLiteral("SELECT COUNT(*) FROM t_clienti")).toInt(), 1);
        ripristina(*c, root);
        QCOMPARE(altra.scalar(QStringLiteral("SELECT COUNT(*) FROM t_clienti")).toInt(), 0);
        QCOMPARE(valore(*c, QStringLiteral("SELECT COUNT(*) FROM t_comunicazioni")).toInt(), 6);
    }
    // Rows run in batches of a thousand. A row the database refuses in the middle of one
    // (a note too long for its column) rolls the batch back and it runs again row by row:
    // that row alone is refused, the rows around it land with the clients and payment modes
    // they brought, and every document's total and state are right, its own document's
    // too. A second run of the same file writes nothing.
    void batchWithARefusedRow()
    {
        // Row n: document n / 2 of 01/03/2026, instalments due 31/03 and 30/04, 10,00 and
        // 20,00; the odd instalment paid.
        const auto riga = [](int n, const QByteArray& cliente, const QByteArray& modo, const QByteArray& nota) {
            return QByteArray::number(n / 2) + ";01/03/2026;" + (n % 2 ? "30/04/2026" : "31/03/2026") + ";" +
                   (n % 2 ? "20,00" : "10,00") + ";" + (n % 2 ? "20,00" : "") + ";;" + modo + ";;" + cliente +
                   ";;" + nota + "\n";
        };
        QByteArray righe;
        for (int n = 1; n <= 2500; ++n) {
            QByteArray cliente = "CLIENTE " + QByteArray::number(n % 7), modo = "BONIFICO", nota;
            if (n == 1200) cliente = "NUOVO 1200", modo = "MODO 1200"; // new, earlier in the same batch
            if (n == 1500) nota = QByteArray(300, 'x');                // refused by the column's width
            if (n == 700) cliente.clear(), modo = "MODO 700";          // refused by the rules
            righe += riga(n, cliente, modo, nota);
        }
        righe += riga(1501, "CLIENTE 3", "BONIFICO", "la stessa rata di nuovo");
        Esito e = importaFatture(*c, righe);
        QCOMPARE(e.errori.size(), 2);
        QCOMPARE(e.errori[0], QStringLiteral("RIGA 700: Cliente nullo."));
        QVERIFY2(e.errori[1].startsWith(QLatin1String("RIGA 1500: ")) && e.errori[1].contains(QLatin1String("255")),
                 qPrintable(e.errori[1]));
        QVERIFY(e.guasto.isEmpty());
        QCOMPARE(e.scritte, 2499);
        const auto conta = [&](const QString& sql) { return valore(*c, sql).toInt(); };
        QCOMPARE(conta(QStringLiteral("SELECT COUNT(*) FROM t_crediti")), 2498); // row 2501 updates 1501
        QCOMPARE(conta(QStringLiteral("SELECT COUNT(*) FROM t_crediti WHERE NumeroFattura IN ('350', '750') AND "
                                      "Scadenza = '2026-03-31'")),
                 0);
        QCOMPARE(conta(QStringLiteral("SELECT COUNT(*) FROM t_crediti WHERE NumeroFattura IN ('749', '751')")), 4);
        QCOMPARE(valore(*c, QStringLiteral("SELECT Note FROM t_crediti WHERE NumeroFattura = '750'")).toString(),
                 QStringLiteral("LA STESSA RATA DI NUOVO"));
        QCOMPARE(conta(QStringLiteral("SELECT COUNT(*) FROM t_clienti WHERE RagioneSociale = 'NUOVO 1200'")), 1);
        QCOMPARE(conta(QStringLiteral("SELECT COUNT(*) FROM t_parametri WHERE Modalita = 'MODO 1200'")), 1);
        QCOMPARE(conta(QStringLiteral("SELECT COUNT(*) FROM t_parametri WHERE Modalita = 'MODO 700'")), 0);
        QCOMPARE(conta(QStringLiteral("SELECT COUNT(*) FROM t_clienti")), 8);

        // Every instalment carries its document's total and state as one computed afresh.
        const char* sbagliate =
            "SELECT COUNT(*) FROM t_crediti c WHERE COALESCE(ImportoTotale, -1) <> (SELECT SUM(Importo) FROM "
            "t_crediti t WHERE t.NumeroFattura = c.NumeroFattura AND t.DataFattura = c.DataFattura) OR "
            "COALESCE(Stato, '') <> (CASE WHEN EXISTS (SELECT 1 FROM t_crediti t WHERE t.NumeroFattura = "
            "c.NumeroFattura AND t.DataFattura = c.DataFattura AND t.Pagato <> 'SI') THEN 'APERTA' ELSE 'CHIUSA' "
            "END)";
        QCOMPARE(conta(QLatin1String(sbagliate)), 0);
        // The documents of the refused rows: the other instalment alone, still open.
        QCOMPARE(valore(*c, QStringLiteral("SELECT ImportoTotale FROM t_crediti WHERE NumeroFattura = '750'"))
                     .value<Money>(),
                 Money::fromCents(2000));
        QCOMPARE(valore(*c, QStringLiteral("SELECT Stato FROM t_crediti WHERE NumeroFattura = '750'")).toString(),
                 QStringLiteral("CHIUSA"));
        QCOMPARE(valore(*c, QStringLiteral("SELECT Stato FROM t_crediti WHERE NumeroFattura = '749' LIMIT 1"))
                     .toString(),
                 QStringLiteral("APERTA"));
        QCOMPARE(valore(*c, QStringLiteral("SELECT ImportoTotale FROM t_crediti WHERE NumeroFattura = '749' "
                                           "LIMIT 1"))
                     .value<Money>(),
                 Money::fromCents(3000));

        const auto tutto = [&] {
            return elenco(*c,
                          QStringLiteral("SELECT ID || '|' || NumeroFattura || '|' || Scadenza || '|' || Importo || "
                                         "'|' || Incassato || '|' || Residuo || '|' || COALESCE(Note, '') || '|' || "
                                         "Pagato || '|' || Stato || '|' || ImportoTotale || '|' || Cliente FROM "
                                         "t_crediti ORDER BY ID"),
                          QStringLiteral("/"));
        };
        const QString prima = tutto();
        // The file engine counts every row its connection wrote, unchanged ones too; the
        // server has no such count, and there the rows' contents alone are compared.
        const bool contaScritture = !TestEnv::onServer();
        const qint64 modifiche =
            contaScritture ? valore(*c, QStringLiteral("SELECT total_changes()")).toLongLong() : 0;
        e = importaFatture(*c, righe);
        QCOMPARE(e.errori.size(), 2);
        QCOMPARE(tutto(), prima);
        // Row 1501 leaves the note empty, which keeps the one row 2501 wrote: no row changes.
        if (contaScritture)
            QCOMPARE(valore(*c, QStringLiteral("SELECT total_changes()")).toLongLong() - modifiche, 0);
    }

    // A cancel in the middle of a batch keeps the rows before it with their documents'
    // totals and states right; a client another connection adds between two batches is
    // seen by the next one, not added again; names the register spells in other letters
    // are the same client and payment mode.
    void cancelInABatchAndOtherWriters()
    {
        c->exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale) VALUES ('rossi srl'), ('café 😀')"));
        c->exec(QStringLiteral("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2, Sollecito3) "
                               "VALUES ('ri.ba. estero', 0, 5, 15, 30)"));
        QByteArray righe;
        for (int n = 1; n <= 3000; ++n)
            righe += QByteArray::number(n / 2) + ";01/03/2026;" + (n % 2 ? "30/04/2026" : "31/03/2026") +
                     ";10,00;;;Ri.Ba. Estero;;" + (n > 1500 ? "ESTERNO" : n % 2 ? "Rossi Srl" : "CAFÉ 😀") + ";;\n";
        // Cancelled after row 2500; rows 1501 on name a client another window adds after the
        // first batch.
        const Griglia g = griglia((QByteArray(intestazioneFatture) + righe).constData());
        const Colonne colonne = risolviColonne(g, Tipo::Fatture, tutte(Tipo::Fatture));
        std::atomic<bool> annulla{false};
        sz::db::Connection altra(c->path());
        Esito e = importa(*c, Tipo::Fatture, g, colonne, annulla, [&](int fatte, int) {
            if (fatte == 1000) // the first batch is committed: another window writes
                altra.exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale) VALUES ('Esterno')"));
            if (fatte == 2500) annulla = true;
        });
        QVERIFY(e.annullata);
        QCOMPARE(e.scritte, 2500);
        const auto conta = [&](const QString& sql) { return valore(*c, sql).toInt(); };
        QCOMPARE(conta(QStringLiteral("SELECT COUNT(*) FROM t_crediti")), 2500);
        QCOMPARE(conta(QStringLiteral("SELECT COUNT(*) FROM t_clienti")), 3);
        QCOMPARE(conta(QStringLiteral("SELECT COUNT(*) FROM t_parametri WHERE Modalita = 'RI.BA. ESTERO'")), 1);
        // Document 1250: its first instalment (row 2500) written, the second (2501) not.
        QCOMPARE(valore(*c, QStringLiteral("SELECT ImportoTotale FROM t_crediti WHERE NumeroFattura = '1250'"))
                     .value<Money>(),
                 Money::fromCents(1000));
        QCOMPARE(conta(QStringLiteral("SELECT COUNT(*) FROM t_crediti WHERE Stato <> 'APERTA' OR ImportoTotale <> "
                                      "(CASE WHEN NumeroFattura IN ('0', '1250') THEN 100000 ELSE 200000 END)")),
                 0);

        annulla = false;
        e = importa(*c, Tipo::Fatture, g, colonne, annulla);
        QVERIFY(!e.annullata && e.errori.isEmpty());
        QCOMPARE(conta(QStringLiteral("SELECT COUNT(*) FROM t_crediti")), 3000);
        QCOMPARE(conta(QStringLiteral("SELECT COUNT(*) FROM t_clienti WHERE RagioneSociale = 'ESTERNO'")), 1);
        QCOMPARE(valore(*c, QStringLiteral("SELECT ImportoTotale FROM t_crediti WHERE NumeroFattura = '1250' "
                                           "LIMIT 1"))
                     .value<Money>(),
                 Money::fromCents(2000));
    }

    // A register without instalments is filled without asking it row by row: the same
    // file gives the same instalments, totals and states as in a register that has some,
    // a key given twice updating its instalment (what the second row leaves empty kept).
    void emptyRegisterAsAnyOther()
    {
        const QByteArray righe = "FT1;01/03/2026;31/03/2026;10,00;;;BONIFICO;;ALFA;;prima\n"
                                 "FT1;01/03/2026;31/03/2026;;10,00;02/04/2026;;;ALFA;;\n"
                                 "FT1;01/03/2026;30/04/2026;5,00;;;;;ALFA;;\n"
                                 "FT2;02/03/2026;31/03/2026;7,00;7,00;;;;BETA;;\n"
                                 "FT2;02/03/2026;31/03/2026;8,00;;;;;BETA;;seconda\n"
                                 "FT3;03/03/2026;31/03/2026;1,00;1,00;;;;BETA;;\n";
        const auto dump = [&] {
            return elenco(*c,
                          QStringLiteral("SELECT NumeroFattura || '|' || Scadenza || '|' || Importo || '|' || "
                                         "Incassato || '|' || Residuo || '|' || COALESCE(DataIncasso, '') || '|' || "
                                         "COALESCE(Note, '') || '|' || Pagato || '|' || Stato || '|' || "
                                         "ImportoTotale || '|' || ModalitaPagamento FROM t_crediti WHERE "
                                         "NumeroFattura <> 'ALTRA' ORDER BY ID"),
                          QStringLiteral("/"));
        };
        Esito e = importaFatture(*c, righe);
        QVERIFY2(e.errori.isEmpty(), qPrintable(e.errori.join('\n')));
        QCOMPARE(e.scritte, 6);
        const QString vuoto = dump();
        QCOMPARE(vuoto, QStringLiteral("FT1|2026-03-31|100000|100000|0|02/04/2026|PRIMA|SI|APERTA|150000|BONIFICO/"
                                       "FT1|2026-04-30|50000|0|50000|||NO|APERTA|150000|/"
                                       "FT2|2026-03-31|80000|70000|10000||SECONDA|PARZ.|APERTA|80000|/"
                                       "FT3|2026-03-31|10000|10000|0|||SI|CHIUSA|10000|"));

        c->exec(QStringLiteral("DELETE FROM t_crediti"));
        importaFatture(*c, "ALTRA;01/01/2026;31/01/2026;1,00;;;;;GAMMA;;\n");
        e = importaFatture(*c, righe);
        QVERIFY2(e.errori.isEmpty(), qPrintable(e.errori.join('\n')));
        QCOMPARE(dump(), vuoto);
    }

    // The register's text comparison (letter case ignored, accented letters too) orders
    // and matches ASCII and other texts alike, prefixes included: the import's lookups in
    // memory and the database's index must agree on it.
    void textComparison()
    {
        const QStringList testi = {"abc", "ABD", "Abc", "ab", "", "àbc", "ÀBC", "abç", "ab c", "a", "B", "b",
                                   "zz", "Zz", "z", "é", "E", "e", "ǅ", "ǆ", "k", "K", QStringLiteral("K"),
                                   QStringLiteral("x😀"), QStringLiteral("X😀"), "x", "x~", "[", "_", "a_b"};
        c->exec(QStringLiteral("CREATE TABLE t_prova (ID INTEGER PRIMARY KEY, T VARCHAR(50) COLLATE NOCASEU)"));
        for (int i = 0; i < testi.size(); ++i)
            c->exec(QStringLiteral("INSERT INTO t_prova (ID, T) VALUES (:ID, :T)"),
                    {{QStringLiteral("ID"), i + 1}, {QStringLiteral("T"), testi[i]}});
        // The engine's ordering of the stored texts, and its equality of every pair.
        QStringList ordinati = testi;
        std::stable_sort(ordinati.begin(), ordinati.end(),
                         [](const QString& a, const QString& b) { return sz::db::compareText(a, b) < 0; });
        const auto r = c->query(QStringLiteral("SELECT T FROM t_prova ORDER BY T, ID"));
        QStringList visti;
        for (const auto& riga : r.rows)
            visti << riga[0].toString();
        const auto confronta = [&](const QString& a, const QString& b) {
            return c
                ->scalar(QStringLiteral("SELECT CASE WHEN :A < :B COLLATE NOCASEU THEN -1 WHEN :A = :B "
                                        "COLLATE NOCASEU THEN 0 ELSE 1 END"),
                         {{QStringLiteral("A"), a}, {QStringLiteral("B"), b}})
                .toInt();
        };
        // The server orders linguistically ("à" beside "a"): its ordering must agree with its
        // own comparison, and its equality with the file's on these texts.
        if (TestEnv::onServer()) {
            QCOMPARE(visti.size(), ordinati.size());
            for (qsizetype i = 1; i < visti.size(); ++i)
                QVERIFY2(confronta(visti[i - 1], visti[i]) <= 0, qPrintable(visti[i - 1] + " / " + visti[i]));
        } else {
            QCOMPARE(visti, ordinati);
        }
        for (const QString& a : testi)
            for (const QString& b : testi) {
                const int visto = confronta(a, b);
                const int atteso = sz::db::compareText(a, b);
                QVERIFY2(TestEnv::onServer() ? (visto == 0) == (atteso == 0) : visto == atteso,
                         qPrintable(a + QStringLiteral(" / ") + b));
            }
    }

    // A name the register already holds in a form its engine finds equal (an accent written
    // apart from its letter, an invisible space) is the same client and the same invoice to
    // the import: the file's engine keeps such forms apart, the server's joins them, and the
    // import never makes a second client or instalment the engine would call the same.
    void namesAsTheEngineComparesThem()
    {
        const QString caffe = QStringLiteral("CAFFE\u0301 NERO");
        const QString rossi = QStringLiteral("ROSSI\u200B SRL");
        for (const QString& n : {caffe, rossi})
            c->exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale) VALUES (:N)"), {{QStringLiteral("N"), n}});
        const auto quanti = [&](const QString& tabella, const QString& colonna, const QString& v) {
            return c
                ->scalar(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 = :V").arg(tabella, colonna),
                         {{QStringLiteral("V"), v}})
                .toInt();
        };
        const Griglia g = griglia(QStringLiteral("RAGIONESOCIALE;TELEFONO\nCaffè Nero;1\nRossi Srl;2\n").toUtf8().constData());
        std::atomic<bool> annulla{false};
        Esito e = importa(*c, Tipo::Clienti, g, risolviColonne(g, Tipo::Clienti, tutte(Tipo::Clienti)), annulla);
        QVERIFY2(e.errori.isEmpty(), qPrintable(e.errori.join('\n')));
        for (const QString& n : {QStringLiteral("CAFFÈ NERO"), QStringLiteral("ROSSI SRL"), caffe, rossi})
            QVERIFY2(quanti(QStringLiteral("t_clienti"), QStringLiteral("RagioneSociale"), n) == 1, qPrintable(n));

        // Into an empty register, whose instalments the run keeps in memory.
        e = importaFatture(*c, QStringLiteral("FT\u200B1;01/03/2026;31/03/2026;10,00;;;;;Rossi Srl;;\n"
                                              "FT1;01/03/2026;31/03/2026;;4,00;;;;Caffè Nero;;\n")
                                   .toUtf8());
        QVERIFY2(e.errori.isEmpty(), qPrintable(e.errori.join('\n')));
        for (const QString& n : {QStringLiteral("FT1"), QStringLiteral("FT\u200B1")})
            QVERIFY2(quanti(QStringLiteral("t_crediti"), QStringLiteral("NumeroFattura"), n) == 1, qPrintable(n));
        QCOMPARE(c->scalar(QStringLiteral("SELECT COUNT(*) FROM t_clienti")).toInt(),
                 c->scalar(QStringLiteral("SELECT COUNT(DISTINCT RagioneSociale) FROM t_clienti")).toInt());
    }

    // Spreadsheets from the command line: the saved file type is the spreadsheet's with no
    // delimiter; an .xls whose formula cell cannot be read is warned about and its row
    // refused, nothing of it written.
    void spreadsheetsFromTheCommandLine()
    {
        const QString xlsx = env->home() + QStringLiteral("/clienti.xlsx");
        const QString xls = env->home() + QStringLiteral("/clienti.xls");
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"),
                 QStringLiteral("import sys, openpyxl, xlwt\n"
                                "wb = openpyxl.Workbook(); ws = wb.active\n"
                                "ws.append(['Ragione Sociale', 'CAP']); ws.append(['Società Uno', 35100]); "
                                "ws.append(['Due', 123])\n"
                                "wb.save(sys.argv[1])\n"
                                "b = xlwt.Workbook(); s = b.add_sheet('a')\n"
                                "s.write(0, 0, 'Ragione Sociale'); s.write(1, 0, xlwt.Formula('\"TRE\"'))\n"
                                "b.save(sys.argv[2])\n"),
                 xlsx, xls});
        QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
        delete c;
        c = nullptr;
        // The command-line tool keeps its data under its own program folder's name.
        const QString suo = databaseDelComando(*env);
        QVERIFY(!suo.isEmpty());
        const auto run =
            TestEnv::runCli({QStringLiteral("import"), QStringLiteral("clients"), xlsx,
                             QStringLiteral("--map"), QStringLiteral("RagioneSociale=ragione sociale"),
                             QStringLiteral("--map"), QStringLiteral("CAP=CAP")},
                            env->home());
        QVERIFY2(run.code == 1, qPrintable(run.err));
        QCOMPARE(run.out, QStringLiteral("Importazione Clienti: 1 righe importate, 1 scartate.\n"));
        QCOMPARE(run.err.trimmed(), QStringLiteral("RIGA 2: CAP non valido."));
        const auto formule =
            TestEnv::runCli({QStringLiteral("import"), QStringLiteral("clients"), xls}, env->home());
        QCOMPARE(formule.code, 1);
        QVERIFY2(formule.err.startsWith(QStringLiteral("ATTENZIONE: 1 cella con una formula")),
                 qPrintable(formule.err));
        QVERIFY2(
            formule.err.contains(QStringLiteral("\nRIGA 1: Ragione Sociale (cella A2): il valore non si è "
                                                "potuto leggere dal file")),
            qPrintable(formule.err));
        QCOMPARE(formule.out, QStringLiteral("Importazione Clienti: 0 righe importate, 1 scartate.\n"));
        c = new sz::db::Connection(suo);
        QCOMPARE(elenco(*c, QStringLiteral("SELECT RagioneSociale FROM t_clienti")),
                 QStringLiteral("SOCIETÀ UNO"));
        const auto imp = CaricaImpostazione(*c, Tipo::Clienti);
        QCOMPARE(imp.estensione, QStringLiteral(".xls .xlsx"));
        QVERIFY(imp.delimitatore.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
