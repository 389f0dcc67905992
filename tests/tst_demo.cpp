// The demo firm: what it writes, that it is consistent with the program's own rules (the
// dunning finds every stage, the letter log matches the stage dates), that it writes all or
// nothing, the command line and the first-run setup's button.

#include "DbProva.h"
#include "Demo.h"
#include "Iban.h"
#include "Inizializzazione.h"
#include "SollecitiLogic.h"
#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Dialect.h"
#include "scadenzio/Fasi.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Paths.h"
#include "scadenzio/Ui.h"

#include <QHash>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

namespace {

using sz::db::Connection;

int conta(Connection& c, const QString& tabella)
{
    return c.scalar(QStringLiteral("SELECT COUNT(*) FROM ") + tabella).toInt();
}

// The check digit of an Italian VAT number, worked out here on its own.
bool ivaValida(const QString& iva)
{
    static const QRegularExpression undici(QStringLiteral("^\\d{11}$"));
    if (!undici.match(iva).hasMatch())
        return false;
    int somma = 0;
    for (int i = 0; i < 11; ++i) {
        int c = iva.at(i).digitValue();
        if (i % 2 == 1)
            c = c * 2 > 9 ? c * 2 - 9 : c * 2;
        somma += c;
    }
    return somma % 10 == 0;
}

// A personal tax code's check letter, by the published tables.
bool codiceFiscaleValido(const QString& cf)
{
    static const QRegularExpression forma(QStringLiteral("^[A-Z]{6}\\d{2}[A-EHLMPRST]\\d{2}[A-Z]\\d{3}[A-Z]$"));
    if (!forma.match(cf).hasMatch())
        return false;
    static const int dispari[36] = {1,  0,  5,  7,  9,  13, 15, 17, 19, 21, 1,  0,  5,  7,  9,  13, 15, 17,
                                    19, 21, 2,  4,  18, 20, 11, 3,  6,  8,  12, 14, 16, 10, 22, 25, 24, 23};
    int somma = 0;
    for (int i = 0; i < 15; ++i) {
        const QChar c = cf.at(i);
        const int k = c.isDigit() ? c.digitValue() : 10 + (c.unicode() - 'A');
        somma += i % 2 == 0 ? dispari[k] : (c.isDigit() ? c.digitValue() : c.unicode() - 'A');
    }
    return cf.at(15) == QChar(u'A' + somma % 26);
}

// Every row of the register and the log, as text, in key order: two runs are compared whole.
QString contenuto(Connection& c)
{
    QString out;
    for (const char* q : {"SELECT * FROM t_societa ORDER BY ID", "SELECT * FROM t_clienti ORDER BY ID",
                          "SELECT * FROM t_banche ORDER BY ID", "SELECT * FROM t_crediti ORDER BY ID",
                          "SELECT IDCredito, Fase, DataOra, Canale, Destinatari, Esito FROM t_invii ORDER BY ID",
                          "SELECT Inizio, Fine, Canale, NonInviate, Errori FROM t_esecuzioni ORDER BY ID"}) {
        const auto r = c.query(QString::fromLatin1(q));
        for (const auto& row : r.rows) {
            for (const auto& v : row)
                out += (v.userType() == qMetaTypeId<sz::Money>() ? v.value<sz::Money>().toMachine() : v.toString()) +
                       QLatin1Char('\t');
            out += QLatin1Char('\n');
        }
    }
    return out;
}

// The stages of the credits the daily list takes on that day.
QSet<int> fasiDovute(Connection& c, const QDate& giorno)
{
    const auto r = c.query(sz::dunning::sqlCreditiPerDocumento(), sz::dunning::parametriLista(giorno));
    QSet<int> fasi;
    for (int i = 0; i < r.rows.size(); ++i)
        fasi << int(sz::dunning::faseRiga(r, i));
    return fasi;
}

const QStringList Colonne = {QStringLiteral("Preavviso"), QStringLiteral("Sollecito1"), QStringLiteral("Sollecito2"),
                             QStringLiteral("Sollecito3")};

} // namespace

class TestDemo : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        sz::ui::applyLook();
        QVERIFY(TestEnv::fontsAvailable());
    }

    void registerAsTheProgramReadsIt_data()
    {
        QTest::addColumn<QDate>("oggi");
        QTest::newRow("lunedì") << QDate(2026, 3, 16);
        QTest::newRow("domenica, fine anno") << QDate(2026, 12, 27);
        QTest::newRow("29 febbraio") << QDate(2028, 2, 29);
    }

    void registerAsTheProgramReadsIt()
    {
        QFETCH(QDate, oggi);
        TestEnv env;
        Connection c(env.installDatabase());
        const sz::demo::Riepilogo r = sz::demo::crea(c, oggi);
        QCOMPARE(r.clienti, 25);
        QCOMPARE(r.crediti, 300);
        QCOMPARE(sz::demo::testoRiepilogo(r), QStringLiteral("Dati dimostrativi creati: 25 clienti, 300 crediti."));
        QCOMPARE(conta(c, QStringLiteral("t_clienti")), 25);
        QCOMPARE(conta(c, QStringLiteral("t_crediti")), 300);
        QCOMPARE(conta(c, QStringLiteral("t_invii")), r.lettere);
        QVERIFY(r.lettere > 300);

        // The company passes the first-run setup's own test, and its codes their checks.
        const auto societa = c.query(QStringLiteral("SELECT RagioneSociale, IVA, CF, Mail FROM t_societa"));
        QCOMPARE(societa.rows.size(), 1);
        QVERIFY(societa.value(0, QStringLiteral("RagioneSociale")).toString().contains(QLatin1String("DEMO")));
        QVERIFY(ivaValida(societa.value(0, QStringLiteral("IVA")).toString()));
        QVERIFY(societa.value(0, QStringLiteral("Mail")).toString().endsWith(QLatin1String(".example")));
        const auto banche = c.query(QStringLiteral("SELECT Nome, IBAN FROM t_banche"));
        QCOMPARE(banche.rows.size(), 3);
        for (const auto& b : banche.rows)
            QVERIFY2(sz::banks::isValidIban(b[1].toString()), qPrintable(b[1].toString()));

        // Clients: real-looking places and codes, and no address that could reach anybody.
        static const QRegularExpression riservato(QStringLiteral("^[a-z0-9.-]+@([a-z0-9-]+\\.example|example\\.com)$"));
        const auto clienti = c.query(QStringLiteral("SELECT RagioneSociale, CAP, Provincia, Localita, IVA, CF, Mail1, "
                                                    "Mail2, Mail3, TipoCliente, Indirizzo FROM t_clienti"));
        QSet<QString> nomi, tipi;
        int conMail = 0;
        for (int i = 0; i < clienti.rows.size(); ++i) {
            const auto v = [&](const char* col) { return clienti.value(i, QString::fromLatin1(col)).toString(); };
            nomi << v("RagioneSociale");
            tipi << v("TipoCliente");
            QVERIFY(QRegularExpression(QStringLiteral("^\\d{5}$")).match(v("CAP")).hasMatch());
            QVERIFY(QRegularExpression(QStringLiteral("^[A-Z]{2}$")).match(v("Provincia")).hasMatch());
            QVERIFY(!v("Localita").isEmpty() && QRegularExpression(QStringLiteral("\\d$")).match(v("Indirizzo")).hasMatch());
            if (v("TipoCliente") == QLatin1String("CONSUMATORE")) {
                QVERIFY(v("IVA").isEmpty());
                QVERIFY2(codiceFiscaleValido(v("CF")), qPrintable(v("CF")));
            } else {
                QVERIFY2(ivaValida(v("IVA")), qPrintable(v("IVA")));
                QVERIFY2(ivaValida(v("CF")), qPrintable(v("CF")));
            }
            for (const char* m : {"Mail1", "Mail2", "Mail3"})
                if (!v(m).isEmpty())
                    QVERIFY2(riservato.match(v(m)).hasMatch(), qPrintable(v(m)));
            conMail += !v("Mail1").isEmpty();
        }
        QCOMPARE(nomi.size(), 25);
        QCOMPARE(tipi, (QSet<QString>{QStringLiteral("IMPRESA"), QStringLiteral("PA"), QStringLiteral("CONSUMATORE")}));
        QVERIFY(conMail >= 20 && conMail < 25);

        // Credits: every state, amounts that add up, dates inside the 18 months.
        const QDate inizio = oggi.addMonths(-18);
        const auto crediti = c.query(QStringLiteral("SELECT * FROM t_crediti ORDER BY ID"));
        QSet<QString> pagato, stati, modalita, banca;
        QHash<QString, sz::Money> totali;
        QHash<QString, bool> aperti;
        int futuri = 0, sospesi = 0;
        for (int i = 0; i < crediti.rows.size(); ++i) {
            const auto v = [&](const char* col) { return crediti.value(i, QString::fromLatin1(col)); };
            const auto soldi = [&](const char* col) { return v(col).value<sz::Money>(); };
            pagato << v("Pagato").toString();
            stati << v("Stato").toString();
            modalita << v("ModalitaPagamento").toString();
            banca << v("Banca").toString();
            QVERIFY(nomi.contains(v("Cliente").toString()));
            QCOMPARE(soldi("Residuo"), soldi("Importo") - soldi("Incassato"));
            QVERIFY(soldi("Importo") > sz::Money());
            const QString p = v("Pagato").toString();
            QCOMPARE(p == QLatin1String("SI"), soldi("Residuo").isZero());
            QCOMPARE(p == QLatin1String("NO"), soldi("Incassato").isZero());
            QCOMPARE(v("DataIncasso").toString().isEmpty(), soldi("Incassato").isZero());
            const QDate data = v("DataFattura").toDate(), scadenza = v("Scadenza").toDate();
            QVERIFY2(data >= inizio && data < oggi, qPrintable(data.toString()));
            QVERIFY(scadenza > data);
            static const QRegularExpression giorno(QStringLiteral("\\d{2}/\\d{2}/\\d{4}"));
            for (const auto& m : giorno.globalMatch(v("DataIncasso").toString())) {
                const QDate incasso = sz::dates::fromDisplay(m.captured());
                QVERIFY2(incasso > data && incasso < oggi, qPrintable(m.captured()));
            }
            futuri += scadenza > oggi.addDays(5);
            sospesi += v("SospendiSolleciti").toBool();
            const QString doc = v("NumeroFattura").toString() + QLatin1Char('|') + data.toString();
            totali[doc] += soldi("Importo");
            aperti[doc] = aperti.value(doc) || p != QLatin1String("SI");
            // Stage dates: one after the other, before today, each after the document.
            QDate prima = data;
            for (int f = 0; f < 4; ++f) {
                const QVariant d = crediti.value(i, Colonne[f]);
                if (d.isNull())
                    continue;
                QVERIFY2(f == 0 || !crediti.value(i, Colonne[f - 1]).isNull(), "fase saltata");
                QVERIFY(d.toDate() > prima && d.toDate() < oggi);
                prima = d.toDate();
            }
        }
        for (int i = 0; i < crediti.rows.size(); ++i) {
            const QString doc = crediti.value(i, QStringLiteral("NumeroFattura")).toString() + QLatin1Char('|') +
                                crediti.value(i, QStringLiteral("DataFattura")).toDate().toString();
            QCOMPARE(crediti.value(i, QStringLiteral("ImportoTotale")).value<sz::Money>(), totali.value(doc));
            QCOMPARE(crediti.value(i, QStringLiteral("Stato")).toString(),
                     aperti.value(doc) ? QStringLiteral("APERTA") : QStringLiteral("CHIUSA"));
        }
        QCOMPARE(pagato, (QSet<QString>{QStringLiteral("SI"), QStringLiteral("NO"), QStringLiteral("PARZ.")}));
        QCOMPARE(stati, (QSet<QString>{QStringLiteral("APERTA"), QStringLiteral("CHIUSA")}));
        QCOMPARE(modalita.size(), 3);
        QCOMPARE(banca.size(), 3);
        QVERIFY(futuri >= 10);
        QCOMPARE(sospesi, 1);
        // Multi-instalment documents exist: fewer documents than credits.
        QVERIFY(totali.size() < 290);

        // The log says exactly what the stage columns say, and nothing happened today or later.
        QHash<qint64, QHash<QString, QDate>> colonne;
        for (int i = 0; i < crediti.rows.size(); ++i)
            for (int f = 0; f < 4; ++f)
                if (!crediti.value(i, Colonne[f]).isNull())
                    colonne[crediti.value(i, QStringLiteral("ID")).toLongLong()][sz::fasi::parola(f)] =
                        crediti.value(i, Colonne[f]).toDate();
        int righeFase = 0, sofferenza = 0;
        QSet<QString> canali;
        for (const auto& l : sz::invii::elenco(c, {})) {
            QVERIFY(l.dataOra.date() < oggi && l.dataOra.date() > inizio);
            canali << l.canale;
            if (l.fase == QLatin1String("IN SOFFERENZA")) {
                ++sofferenza;
                QVERIFY(colonne.value(l.idCredito).contains(QStringLiteral("SOLLECITO3")));
                QVERIFY(l.dataOra.date() > colonne.value(l.idCredito).value(QStringLiteral("SOLLECITO3")));
                continue;
            }
            QCOMPARE(colonne.value(l.idCredito).value(l.fase), l.dataOra.date());
            ++righeFase;
        }
        int date = 0;
        for (const auto& perCredito : colonne)
            date += perCredito.size();
        QCOMPARE(righeFase, date);
        QVERIFY(sofferenza > 0);
        QCOMPARE(canali, (QSet<QString>{QStringLiteral("MAIL"), QStringLiteral("PDF")}));
        // The runs that made them account for every letter and every mail that did not go.
        const auto giri = c.query(QStringLiteral("SELECT \"Create\", NonInviate, Errori, Esito, Inizio, Fine FROM "
                                                 "t_esecuzioni"));
        int create = 0, nonInviate = 0;
        for (const auto& g : giri.rows) {
            create += g[0].toInt();
            nonInviate += g[1].toInt();
            QCOMPARE(g[3].toString(), g[1].toInt() ? QStringLiteral("CON ERRORI") : QStringLiteral("COMPLETATA"));
            QCOMPARE(g[2].toString().split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), g[1].toInt());
            QVERIFY(g[4].toString() < g[5].toString());
        }
        QCOMPARE(create, r.lettere);
        QCOMPARE(nonInviate, c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_invii WHERE Esito LIKE 'NON INVIATA%'")).toInt());
        QVERIFY(nonInviate > 0);

        // The daily list of that day finds a credit at every stage, and some held back by a
        // suspension: the client's and the disputed credit's.
        QCOMPARE(fasiDovute(c, oggi), (QSet<int>{0, 1, 2, 3, 4}));
        QVERIFY(sz::dunning::contaSospesi(c, oggi) >= 2);
        QCOMPARE(c.scalar(QStringLiteral("SELECT COUNT(*) FROM t_clienti WHERE SospendiSolleciti <> 0 AND "
                                         "SospesoFino > :Oggi"),
                          {{QStringLiteral("Oggi"), oggi}})
                     .toInt(),
                 1);
        // Only a few bad debts among 300.
        const auto lista = c.query(sz::dunning::sqlCreditiPerDocumento(), sz::dunning::parametriLista(oggi));
        int inSofferenza = 0;
        for (int i = 0; i < lista.rows.size(); ++i)
            inSofferenza += sz::dunning::faseRiga(lista, i) == sz::dunning::Fase::InSofferenza;
        QVERIFY2(inSofferenza >= 3 && inSofferenza <= 25, qPrintable(QString::number(inSofferenza)));
    }

    void sameDaySameFirm()
    {
        const QDate oggi(2026, 6, 10);
        QString prima;
        {
            TestEnv env;
            Connection c(env.installDatabase());
            sz::demo::crea(c, oggi);
            prima = contenuto(c);
        }
        TestEnv env;
        Connection c(env.installDatabase());
        sz::demo::crea(c, oggi);
        QCOMPARE(contenuto(c), prima);
    }

    void refusesAFilledRegisterAndWritesAllOrNothing()
    {
        TestEnv env;
        Connection c(env.installDatabase());
        // A company row left empty by an interrupted setup is no data: it is filled, not doubled.
        c.exec(QStringLiteral("INSERT INTO t_societa (RagioneSociale, IVA) VALUES ('', '')"));

        // A failure halfway (the log refuses its rows) leaves nothing of the demo behind.
        blocca(c, QStringLiteral("ferma_invii"), QStringLiteral("BEFORE INSERT ON t_invii"),
               QStringLiteral("disco pieno"));
        QVERIFY_THROWS_EXCEPTION(sz::Error, sz::demo::crea(c, QDate(2026, 3, 16)));
        sblocca(c, QStringLiteral("ferma_invii"), QStringLiteral("t_invii"));
        for (const char* t : {"t_clienti", "t_crediti", "t_banche", "t_invii", "t_esecuzioni"})
            QCOMPARE(conta(c, QString::fromLatin1(t)), 0);
        QCOMPARE(c.scalar(QStringLiteral("SELECT RagioneSociale FROM t_societa")).toString(), QString());

        sz::demo::crea(c, QDate(2026, 3, 16));
        QCOMPARE(conta(c, QStringLiteral("t_societa")), 1);

        // A second run, with the credits there, changes nothing.
        const QString prima = contenuto(c);
        try {
            sz::demo::crea(c, QDate(2026, 3, 17));
            QFAIL("accettato un registro pieno");
        } catch (const sz::Error& e) {
            QCOMPARE(e.message(), sz::demo::RifiutoCrediti);
        }
        QCOMPARE(contenuto(c), prima);

        // Clients of the firm's own without credits yet are not mixed with made-up ones.
        TestEnv altro;
        Connection d(altro.installDatabase());
        d.exec(QStringLiteral("INSERT INTO t_clienti (RagioneSociale) VALUES ('ROSSI SRL')"));
        try {
            sz::demo::crea(d, QDate(2026, 3, 16));
            QFAIL("accettato un registro con clienti");
        } catch (const sz::Error& e) {
            QCOMPARE(e.message(), sz::demo::RifiutoDati);
        }
        QCOMPARE(conta(d, QStringLiteral("t_clienti")), 1);
        QCOMPARE(conta(d, QStringLiteral("t_societa")), 0);

        // Another workstation filling the same server database: this one is refused at once
        // and writes nothing; once that one is done, its credits refuse any later run.
        if (TestEnv::onServer()) {
            TestEnv terzo;
            const QString db = terzo.installDatabase();
            Connection mia(db), altra(db);
            const QString nome = QStringLiteral("dati dimostrativi");
            QVERIFY(altra.dialect().tryNamedLock(altra, nome) == sz::db::Dialect::LockResult::Taken);
            try {
                sz::demo::crea(mia, QDate(2026, 3, 16));
                QFAIL("accettato mentre un'altra postazione carica i dati");
            } catch (const sz::Error& e) {
                QCOMPARE(e.message(), sz::demo::RifiutoInCorso);
            }
            QCOMPARE(conta(mia, QStringLiteral("t_crediti")), 0);
            sz::demo::crea(altra, QDate(2026, 3, 16));
            altra.dialect().releaseNamedLock(altra, nome);
            QVERIFY_THROWS_EXCEPTION(sz::Error, sz::demo::crea(mia, QDate(2026, 3, 16)));
            QCOMPARE(conta(mia, QStringLiteral("t_crediti")), 300);
        }
    }

    void commandLine()
    {
        TestEnv env;
        env.installDatabase();
        auto r = TestEnv::runCli({QStringLiteral("demo")});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, QStringLiteral("Dati dimostrativi creati: 25 clienti, 300 crediti.\n"));
        QCOMPARE(r.code, 0);

        r = TestEnv::runCli({QStringLiteral("demo")});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, sz::demo::RifiutoCrediti + QLatin1Char('\n'));
        QCOMPARE(TestEnv::runCli({QStringLiteral("demo"), QStringLiteral("--subito")}).code, 2);

        // Today's list names every stage; a letter of one of them reads as a letter should.
        r = TestEnv::runCli({QStringLiteral("dunning"), QStringLiteral("list")});
        QCOMPARE(r.code, 0);
        QSet<QString> fasi;
        QString sollecito;
        const QStringList righe = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& riga : righe.mid(1)) {
            const QStringList campi = riga.split(QLatin1Char('\t'));
            fasi << campi.last();
            if (campi.last() == QLatin1String("SOLLECITO1") && sollecito.isEmpty())
                sollecito = campi.first();
        }
        QCOMPARE(fasi, (QSet<QString>{QStringLiteral("PREAVVISO"), QStringLiteral("SOLLECITO1"),
                                      QStringLiteral("SOLLECITO2"), QStringLiteral("SOLLECITO3"),
                                      QStringLiteral("IN SOFFERENZA")}));
        r = TestEnv::runCli({QStringLiteral("dunning"), QStringLiteral("pdf"), sollecito});
        QCOMPARE(r.code, 0);
        const QString testo = TestEnv::pdfText(r.out.trimmed()).simplified();
        Connection c(sz::paths::LoadConnection());
        const auto riga = c.query(QStringLiteral("SELECT Cliente, NumeroFattura FROM t_crediti WHERE ID = :ID"),
                                  {{QStringLiteral("ID"), sollecito.toLongLong()}});
        for (const QString& atteso :
             {QStringLiteral("DEMO FORNITURE SRL"), QStringLiteral("VIA EMILIA PONENTE 112"),
              riga.value(0, QStringLiteral("Cliente")).toString(), riga.value(0, QStringLiteral("NumeroFattura")).toString(),
              QStringLiteral("1° SOLLECITO DI PAGAMENTO"), QStringLiteral("IBAN:")})
            QVERIFY2(testo.contains(atteso), qPrintable(atteso + QStringLiteral(" in: ") + testo));
    }

    void setupButton()
    {
        TestEnv env;
        env.installDatabase();
        int restarts = 0;
        sz::ui::setRestartHook([&restarts] { ++restarts; });
        sz::ui::MessageRecorder rec;
        {
            TFrameInizializzazione frame;
            auto* bottone = frame.findChild<QPushButton*>(QStringLiteral("BottoneDatiDimostrativi"));
            QVERIFY(bottone);
            QCOMPARE(bottone->text(), QStringLiteral("Prova con dati dimostrativi"));
            frame.resize(1100, 700);
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            QVERIFY(bottone->isVisible() && bottone->isEnabled());
            TestEnv::saveScreenshot(&frame, QStringLiteral("inizializzazione_dati_dimostrativi"));

            // "No" leaves the register as it was.
            rec.answerNext(false);
            bottone->click();
            QCOMPARE(rec.messages.size(), 1);
            QCOMPARE(restarts, 0);
            QCOMPARE(conta(frame.connection(), QStringLiteral("t_crediti")), 0);

            bottone->click();
            QCOMPARE(restarts, 1);
            QCOMPARE(rec.messages.last(), QStringLiteral("Dati dimostrativi creati: 25 clienti, 300 crediti."));
            QCOMPARE(conta(frame.connection(), QStringLiteral("t_crediti")), 300);
            QCOMPARE(conta(frame.connection(), QStringLiteral("t_societa")), 1);
        }
        {
            // Pressed again on a filled register: said, nothing restarts.
            rec.messages.clear();
            TFrameInizializzazione frame;
            frame.findChild<QPushButton*>(QStringLiteral("BottoneDatiDimostrativi"))->click();
            QCOMPARE(rec.messages.size(), 2);
            QCOMPARE(rec.messages.last(), sz::demo::RifiutoCrediti);
            QCOMPARE(restarts, 1);
        }
        sz::ui::setRestartHook({});
    }
};

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
