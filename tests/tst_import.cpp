// Importing clients and issued documents: the preview grid, the saved settings and
// mapping with their column resolution, the row rules and messages of both kinds, the
// run's cancel and failure behaviour, and the safety copy with its restore.
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

    // Row numbers in column 0, upper case and trimmed cells, rows as wide as the widest;
    // a narrower file keeps the columns the grid already had.
    void previewGrid()
    {
        const Griglia g = griglia("Ragione Sociale; Città \n rossi srl;forlì;x\n\n");
        QCOMPARE(g.righe(), 3);
        QCOMPARE(g.colonne, 4);
        QCOMPARE(g.celle[0], (QStringList{"", "RAGIONE SOCIALE", "CITTÀ", ""}));
        QCOMPARE(g.celle[1], (QStringList{"1", "ROSSI SRL", "FORLÌ", "X"}));
        QCOMPARE(g.celle[2], (QStringList{"2", "", "", ""}));
        QCOMPARE(grigliaDa(sz::sheets::parseDelimited("A\n", QLatin1Char(';')), 6).colonne, 6);
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
    // Spreadsheets from the command line: the saved file type is the spreadsheet's with no
    // delimiter; an .xls whose formula cells cannot be read stops before anything is written.
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
        const QString suo = env->documents() + QStringLiteral("/Scadenzio/DB/gestionale.mdb");
        QVERIFY(QDir().mkpath(QFileInfo(suo).absolutePath()));
        QVERIFY(QFile::copy(sz::paths::defaultDatabasePath(), suo));
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
        QCOMPARE(formule.code, 2);
        QVERIFY2(formule.err.contains(QStringLiteral("1 cella con una formula")), qPrintable(formule.err));
        c = new sz::db::Connection(suo);
        QCOMPARE(c->scalar(QStringLiteral("SELECT group_concat(RagioneSociale) FROM t_clienti")).toString(),
                 QStringLiteral("SOCIETÀ UNO"));
        const auto imp = CaricaImpostazione(*c, Tipo::Clienti);
        QCOMPARE(imp.estensione, QStringLiteral(".xls .xlsx"));
        QVERIFY(imp.delimitatore.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
