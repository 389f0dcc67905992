// Certified-mail receipts as providers send them, built here and signed with S/MIME by a
// test CA through openssl: every kind read with its certified data and the zone of its time,
// hostile receipts refused, receipts matched to the letter log, filed beside the letter's
// PDF once and byte for byte, the letters' states, and the command line.
#include "ArchivioRicevute.h"
#include "FirmaRicevuta.h"
#include "Ricevuta.h"
#include "TestEnv.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Invii.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace sz::pec;

namespace {

const QString idLettera = QStringLiteral("<3f2c9a10-5b7e-4c1d-9e2a-7a1b2c3d4e5f@pec.ditta.it>");

struct Dati
{
    QString tipo = QStringLiteral("avvenuta-consegna");
    QString errore = QStringLiteral("nessuno");
    QStringList destinatari = {QStringLiteral("rossi@pec.rossi.it")};
    QString giorno = QStringLiteral("15/01/2027"), ora = QStringLiteral("10:30:00"), zona = QStringLiteral("+0100");
    QString identificativo = QStringLiteral("opec21.20270115103000.01234.56.1.7@pec.gestore.it");
    QString msgid = idLettera;
    QString consegna = QStringLiteral("rossi@pec.rossi.it");
    QString erroreEsteso;
};

QByteArray daticert(const Dati& d)
{
    QByteArray x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<postacert tipo=\"" + d.tipo.toUtf8() +
                   "\" errore=\"" + d.errore.toUtf8() + "\">\n <intestazione>\n  <mittente>ufficio@pec.ditta.it</mittente>\n";
    for (const QString& a : d.destinatari)
        x += "  <destinatari tipo=\"certificato\">" + a.toUtf8() + "</destinatari>\n";
    x += "  <risposte>ufficio@pec.ditta.it</risposte>\n  <oggetto>Sollecito di pagamento &amp; costituzione in mora "
         "– fattura 12/A</oggetto>\n </intestazione>\n <dati>\n  <gestore-emittente>GESTORE DI PROVA S.P.A."
         "</gestore-emittente>\n  <data zona=\"" +
         d.zona.toUtf8() + "\">\n   <giorno>" + d.giorno.toUtf8() + "</giorno>\n   <ora>" + d.ora.toUtf8() +
         "</ora>\n  </data>\n  <identificativo>" + d.identificativo.toUtf8() + "</identificativo>\n";
    if (!d.msgid.isEmpty())
        x += "  <msgid>" + d.msgid.toUtf8().replace("<", "&lt;").replace(">", "&gt;") + "</msgid>\n";
    x += "  <ricevuta tipo=\"completa\" />\n";
    if (!d.consegna.isEmpty())
        x += "  <consegna>" + d.consegna.toUtf8() + "</consegna>\n";
    if (!d.erroreEsteso.isEmpty())
        x += "  <errore-esteso>" + d.erroreEsteso.toUtf8() + "</errore-esteso>\n";
    return x + " </dati>\n</postacert>\n";
}

QByteArray qp(const QByteArray& in)
{
    QByteArray out;
    int colonna = 0;
    for (char c : in) {
        const uchar u = uchar(c);
        QByteArray pezzo;
        if (c == '\n') {
            out += "\r\n";
            colonna = 0;
            continue;
        }
        if (u > 126 || c == '=' || u < 32)
            pezzo = "=" + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
        else
            pezzo = QByteArray(1, c);
        if (colonna + pezzo.size() > 72) {
            out += "=\r\n";
            colonna = 0;
        }
        out += pezzo;
        colonna += int(pezzo.size());
    }
    return out;
}

enum class Codifica { Base64, QuotedPrintable, Chiara };

// The signed body of a complete receipt: a text, daticert.xml and the original message.
// The original carries an attachment named daticert.xml of its own, with another msgid:
// the sender's bytes must never pass for the provider's data.
QByteArray corpo(const Dati& d, Codifica c)
{
    const QByteArray xml = daticert(d);
    QByteArray parte;
    if (c == Codifica::Base64) {
        QByteArray b = xml.toBase64();
        for (qsizetype i = 76; i < b.size(); i += 78)
            b.insert(i, "\r\n");
        parte = "Content-Type: application/xml; name=\"daticert.xml\"\r\nContent-Transfer-Encoding: base64\r\n"
                "Content-Disposition: inline; filename=\"daticert.xml\"\r\n\r\n" + b;
    } else if (c == Codifica::QuotedPrintable) {
        parte = "Content-Type: application/xml;\r\n name=\"daticert.xml\"\r\nContent-Transfer-Encoding: quoted-printable\r\n"
                "Content-Disposition: attachment;\r\n\tfilename=\"daticert.xml\"\r\n\r\n" + qp(xml);
    } else {
        parte = "Content-Type: application/xml\r\nContent-Disposition: attachment; filename*=UTF-8''daticert.xml\r\n\r\n" +
                xml;
    }
    Dati trappola = d;
    trappola.msgid = QStringLiteral("<falso@altrove.it>");
    trappola.tipo = QStringLiteral("non-accettazione");
    const QByteArray originale =
        "Message-ID: " + d.msgid.toUtf8() + "\r\nFrom: ufficio@pec.ditta.it\r\nTo: rossi@pec.rossi.it\r\n"
        "Subject: Sollecito\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"orig\"\r\n\r\n"
        "--orig\r\nContent-Type: text/plain\r\n\r\nGentile cliente\r\n--orig\r\nContent-Type: application/xml; "
        "name=daticert.xml\r\n\r\n" + daticert(trappola) + "\r\n--orig--\r\n";
    const QByteArray postacert =
        "------=_Part_1\r\nContent-Type: message/rfc822\r\nContent-Disposition: inline; filename=\"postacert.eml\"\r\n\r\n" +
        originale + "\r\n";
    // In one layout the original comes before the data, so that it is met first.
    return "Content-Type: multipart/mixed; boundary=\"----=_Part_1\"\r\n\r\n"
           "------=_Part_1\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
           "Ricevuta di avvenuta consegna\r\nIl giorno 15/01/2027 alle ore 10:30:00 (+0100) il messaggio =C3=A8 stato "
           "consegnato\r\n" +
           (c == Codifica::Chiara ? postacert : QByteArray()) + "------=_Part_1\r\n" + parte + "\r\n" +
           (c == Codifica::Chiara ? QByteArray() : postacert) + "------=_Part_1--\r\n";
}

bool esegui(const QString& dir, const QStringList& args, QByteArray* out = nullptr)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << args << p.readAllStandardError();
        return false;
    }
    if (out)
        *out = p.readAllStandardOutput();
    return true;
}

} // namespace

class TstPec : public QObject
{
    Q_OBJECT

    QTemporaryDir m_pki;

    // The whole receipt: the provider's headers over the S/MIME-signed body (or the body
    // alone, unsigned).
    QByteArray ricevuta(const Dati& d, const QByteArray& xRicevuta, Codifica c = Codifica::Base64, bool firma = true,
                        const QByteArray& riferimento = {})
    {
        QByteArray firmato = corpo(d, c);
        if (firma) {
            QFile in(m_pki.filePath(QStringLiteral("corpo.eml")));
            if (!in.open(QIODevice::WriteOnly) || in.write(firmato) != firmato.size())
                return {};
            in.close();
            if (!esegui(m_pki.path(), {"smime", "-sign", "-signer", "firma.pem", "-inkey", "firma.key", "-certfile",
                                       "ca.pem", "-in", "corpo.eml"},
                        &firmato))
                return {};
        } else {
            firmato = "MIME-Version: 1.0\r\n" + firmato;
        }
        const QByteArray rif = riferimento.isEmpty() ? d.msgid.toUtf8() : riferimento;
        return "Return-Path: <posta-certificata@pec.gestore.it>\r\nReceived: from localhost\r\n\tby pec.gestore.it;"
               " Fri, 15 Jan 2027 10:30:01 +0100\r\nX-Ricevuta: " + xRicevuta +
               "\r\nX-Tiporicevuta: completa\r\nDate: Fri, 15 Jan 2027 10:30:01 +0100\r\n"
               "Subject: =?UTF-8?B?" + QByteArray("CONSEGNA: Sollecito – fattura 12/A").toBase64() +
               "?=\r\nFrom: posta-certificata@pec.gestore.it\r\nTo: ufficio@pec.ditta.it\r\n"
               "X-Riferimento-Message-ID:\r\n " + rif + "\r\nMessage-ID: <opec.ric." + d.tipo.toUtf8() +
               "@pec.gestore.it>\r\n" + firmato;
    }

    Dati consegna(const QString& a)
    {
        Dati d;
        d.destinatari = {QStringLiteral("rossi@pec.rossi.it"), QStringLiteral("amministrazione@pec.rossi.it")};
        d.consegna = a;
        return d;
    }

    static Ricevuta leggi(const QByteArray& eml)
    {
        try {
            return leggiRicevuta(eml);
        } catch (const sz::Error& e) {
            qWarning() << e.message();
            throw;
        }
    }

    static QString errore(const QByteArray& eml)
    {
        try {
            leggiRicevuta(eml);
        } catch (const sz::Error& e) {
            return e.message();
        }
        return {};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_pki.isValid());
        const QString d = m_pki.path();
        QVERIFY(esegui(d, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
                           "-days", "2", "-subj", "/CN=Gestore di prova CA"}));
        QVERIFY(esegui(d, {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "firma.key", "-out", "firma.csr",
                           "-subj", "/CN=posta-certificata@pec.gestore.it"}));
        QVERIFY(esegui(d, {"x509", "-req", "-in", "firma.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                           "-CAcreateserial", "-out", "firma.pem", "-days", "2"}));
    }

    // Each kind as it arrives, signed, with its certified data read whatever their transfer
    // encoding; header names in any case; the original message's own "daticert.xml" ignored.
    void leggeOgniTipo()
    {
        Dati acc;
        acc.tipo = QStringLiteral("accettazione");
        acc.consegna.clear();
        const Ricevuta a = leggi(ricevuta(acc, "accettazione", Codifica::Base64));
        QCOMPARE(a.tipo, Tipo::Accettazione);
        QVERIFY(a.firmata);
        QVERIFY(a.conDaticert);
        QCOMPARE(normalizzaMessageId(a.riferimento), normalizzaMessageId(idLettera));
        QCOMPARE(a.gestore, QStringLiteral("GESTORE DI PROVA S.P.A."));
        QCOMPARE(a.identificativo, acc.identificativo);
        QCOMPARE(a.ricevutaTipo, QStringLiteral("completa"));
        QCOMPARE(a.destinatari, acc.destinatari);
        QCOMPARE(a.oggetto, QStringLiteral("Sollecito di pagamento & costituzione in mora – fattura 12/A"));
        QCOMPARE(a.data.toUTC(), QDateTime(QDate(2027, 1, 15), QTime(9, 30), Qt::UTC));

        for (Codifica c : {Codifica::QuotedPrintable, Codifica::Chiara}) {
            const Ricevuta r = leggi(ricevuta(consegna(QStringLiteral("Amministrazione@PEC.rossi.it")),
                                              "avvenuta-consegna", c));
            QCOMPARE(r.tipo, Tipo::AvvenutaConsegna);
            QCOMPARE(r.consegna, QStringLiteral("amministrazione@pec.rossi.it"));
            QCOMPARE(r.destinatario(), QStringLiteral("amministrazione@pec.rossi.it"));
            QCOMPARE(r.destinatari.size(), 2);
        }

        Dati err;
        err.tipo = QStringLiteral("errore-consegna");
        err.errore = QStringLiteral("no-dest");
        err.erroreEsteso = QStringLiteral("5.1.1 - Casella inesistente: rossi@pec.rossi.it");
        // Header name in another case, and "mancata-consegna", which some software writes.
        QByteArray eml = ricevuta(err, "mancata-consegna");
        eml.replace("X-Ricevuta:", "x-RICEVUTA:");
        const Ricevuta e = leggi(eml);
        QCOMPARE(e.tipo, Tipo::ErroreConsegna);
        QCOMPARE(e.errore, QStringLiteral("no-dest"));
        QCOMPARE(e.erroreEsteso, err.erroreEsteso);

        Dati pre;
        pre.tipo = QStringLiteral("preavviso-errore-consegna");
        pre.erroreEsteso = QStringLiteral("4.4.7 - Messaggio non consegnato nelle 12 ore");
        QCOMPARE(leggi(ricevuta(pre, "preavviso-errore-consegna", Codifica::QuotedPrintable, false)).tipo,
                 Tipo::PreavvisoErroreConsegna);

        // LF-only line ends (a file saved by a web mail), and a receipt that lacks msgid in
        // its data: the header names the message.
        Dati senzaMsgid = acc;
        senzaMsgid.msgid.clear();
        QByteArray lf = ricevuta(senzaMsgid, "accettazione", Codifica::Base64, true, idLettera.toUtf8());
        lf.replace("\r\n", "\n");
        const Ricevuta l = leggi(lf);
        QCOMPARE(l.tipo, Tipo::Accettazione);
        QCOMPARE(normalizzaMessageId(l.riferimento), normalizzaMessageId(idLettera));
        QVERIFY(l.conDaticert);

        // An inner boundary that begins with the outer one is not the outer one's delimiter.
        QByteArray prefisso = "X-Ricevuta: accettazione\nX-Riferimento-Message-ID: <a@b>\nContent-Type: multipart/"
                              "signed; boundary=\"==X\"\n\n--==X\nContent-Type: multipart/mixed; boundary=\"==X--1\"\n\n"
                              "--==X--1\nContent-Type: text/plain\n\nciao\n--==X--1\nContent-Type: application/xml; "
                              "name=\"daticert.xml\"\nContent-Transfer-Encoding: base64\n\n" +
                              daticert(acc).toBase64() + "\n--==X--1--\n--==X\nContent-Type: application/pkcs7-"
                              "signature; name=smime.p7s\n\nAAAA\n--==X--\n";
        const Ricevuta p = leggi(prefisso);
        QVERIFY(p.conDaticert);
        QCOMPARE(p.identificativo, acc.identificativo);

        // The provider's signature: intact as sent and as a web mail saves it (LF line
        // ends); one changed byte of the signed data breaks it; an unsigned one has none.
        const QByteArray firmata = ricevuta(acc, "accettazione", Codifica::Chiara);
        QCOMPARE(verificaFirma(firmata), Firma::Integra);
        QCOMPARE(verificaFirma(QByteArray(firmata).replace("\r\n", "\n")), Firma::Integra);
        QString perche;
        QCOMPARE(verificaFirma(QByteArray(firmata).replace("DI PROVA S.P.A.", "DI PROVB S.P.A."), &perche),
                 Firma::Alterata);
        QVERIFY(!perche.isEmpty());

        // The header and the signed data disagree: the signed data stand.
        const Ricevuta dis = leggi(ricevuta(consegna(QStringLiteral("rossi@pec.rossi.it")), "accettazione", Codifica::Base64,
                                            true, "<altro@pec.ditta.it>"));
        QCOMPARE(dis.tipo, Tipo::AvvenutaConsegna);
        QCOMPARE(normalizzaMessageId(dis.riferimento), normalizzaMessageId(idLettera));
    }

    // Messages that are not receipts are left alone: an ordinary mail, an incoming
    // certified message (transport envelope), an anomaly.
    void nonRicevute()
    {
        const QByteArray mail = "From: a@b.it\r\nTo: ufficio@pec.ditta.it\r\nSubject: ciao\r\n\r\ntesto\r\n";
        QCOMPARE(leggi(mail).tipo, Tipo::Nessuna);
        Dati busta;
        busta.tipo = QStringLiteral("posta-certificata");
        QByteArray trasporto = ricevuta(busta, "x");
        trasporto.replace("X-Ricevuta: x", "X-Trasporto: posta-certificata");
        const Ricevuta t = leggi(trasporto);
        QCOMPARE(t.tipo, Tipo::Nessuna);
        QCOMPARE(t.trasporto, QStringLiteral("posta-certificata"));
    }

    // A receipt without certified data (a provider's short form, a damaged attachment
    // list): kind, reference, subject and time from its headers.
    void soloIntestazioni()
    {
        const QByteArray eml = "X-Ricevuta: avvenuta-consegna\r\nX-Riferimento-Message-ID: <A1@Pec.Ditta.It>\r\n"
                               "Subject: =?UTF-8?Q?CONSEGNA:_Sollecito_n=C2=B0?= =?ISO-8859-1?B?IDEy?=\r\n"
                               "\t=?x-ignoto?Q?resto?= e fine\r\nDate: Thu, 15 Jul 2027 10:30:01 +0200 (CEST)\r\n\r\n"
                               "Consegnato.\r\n";
        const Ricevuta r = leggi(eml);
        QCOMPARE(r.tipo, Tipo::AvvenutaConsegna);
        QVERIFY(!r.conDaticert);
        QVERIFY(!r.firmata);
        QCOMPARE(normalizzaMessageId(r.riferimento), QStringLiteral("A1@pec.ditta.it"));
        QCOMPARE(r.oggetto, QStringLiteral("CONSEGNA: Sollecito n° 12 =?x-ignoto?Q?resto?= e fine"));
        QCOMPARE(r.data.toUTC(), QDateTime(QDate(2027, 7, 15), QTime(8, 30, 1), Qt::UTC));
    }

    // The time is the provider's with its zone: +0100 in winter, +0200 in summer, and a
    // zone that is not Italy's is honoured too.
    void zonaApplicata()
    {
        struct Caso
        {
            const char* giorno;
            const char* ora;
            const char* zona;
            QDateTime utc;
        };
        const Caso casi[] = {
            {"15/01/2027", "10:30:00", "+0100", QDateTime(QDate(2027, 1, 15), QTime(9, 30), Qt::UTC)},
            {"15/07/2027", "10:30:00", "+0200", QDateTime(QDate(2027, 7, 15), QTime(8, 30), Qt::UTC)},
            {"31/12/2026", "23:30:00", "-0500", QDateTime(QDate(2027, 1, 1), QTime(4, 30), Qt::UTC)},
        };
        for (const Caso& c : casi) {
            Dati d;
            d.giorno = QLatin1String(c.giorno);
            d.ora = QLatin1String(c.ora);
            d.zona = QLatin1String(c.zona);
            Ricevuta r;
            leggiDaticert(daticert(d), r);
            QCOMPARE(r.data.toUTC(), c.utc);
            QCOMPARE(r.data.timeSpec(), Qt::LocalTime);
        }
        // The test runs in Italy's zone (see tst_pec.cmake): the clerk reads Italian time.
        if (qEnvironmentVariable("TZ") == QLatin1String("Europe/Rome")) {
            Dati d;
            d.zona = QStringLiteral("+0000");
            Ricevuta r;
            leggiDaticert(daticert(d), r);
            QCOMPARE(r.data.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), QStringLiteral("15/01/2027 11:30:00"));
        }
    }

    // Hostile receipts end in one Italian line, never a crash, a hang or an entity read.
    void ostili()
    {
        const QByteArray esterna = "<?xml version=\"1.0\"?>\n<!DOCTYPE postacert [<!ENTITY x SYSTEM "
                                   "\"file:///etc/passwd\">]>\n<postacert tipo=\"accettazione\"><dati><msgid>&x;"
                                   "</msgid></dati></postacert>";
        QByteArray risate = "<?xml version=\"1.0\"?>\n<!DOCTYPE postacert [<!ENTITY a \"aaaaaaaaaa\">";
        for (char c = 'b'; c <= 'j'; ++c)
            risate += QByteArray("<!ENTITY ") + c + " \"" + QByteArray(10, '&').replace("&", QByteArray("&") + char(c - 1) + ";") + "\">";
        risate += "]>\n<postacert tipo=\"accettazione\"><dati><msgid>&j;</msgid></dati></postacert>";
        for (const QByteArray& xml : {esterna, risate}) {
            Ricevuta r;
            QVERIFY_THROWS_EXCEPTION(sz::Error, leggiDaticert(xml, r));
            QVERIFY(r.riferimento.isEmpty());
            // The same inside a whole receipt.
            QByteArray eml = "X-Ricevuta: accettazione\r\nX-Riferimento-Message-ID: " + idLettera.toUtf8() +
                             "\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: application/xml; "
                             "name=daticert.xml\r\n\r\n" + xml + "\r\n--b--\r\n";
            QVERIFY(errore(eml).contains(QStringLiteral("DTD")));
        }
        // In UTF-16 the plain-text check cannot see the declaration: the parser's own token does.
        {
            QStringEncoder utf16(QStringEncoder::Utf16LE);
            const QByteArray u = QByteArray("\xff\xfe") + QByteArray(utf16.encode(QString::fromLatin1(esterna)));
            Ricevuta r;
            QVERIFY_THROWS_EXCEPTION(sz::Error, leggiDaticert(u, r));
        }
        // Not a receipt's data, not XML, no reference at all, an unknown kind.
        Ricevuta r;
        QVERIFY_THROWS_EXCEPTION(sz::Error, leggiDaticert("<html><body/></html>", r));
        QVERIFY_THROWS_EXCEPTION(sz::Error, leggiDaticert("<postacert tipo=\"accettazione\"><dati>", r));
        QVERIFY(errore("X-Ricevuta: accettazione\r\n\r\n").contains(QStringLiteral("Message-ID")));
        QVERIFY(errore("X-Ricevuta: cancellazione\r\nX-Riferimento-Message-ID: <a@b>\r\n\r\n")
                    .startsWith(QStringLiteral("ricevuta PEC danneggiata")));
        // Nesting without end, a flood of headers, a flood of parts.
        QByteArray annidata = "X-Ricevuta: accettazione\r\nX-Riferimento-Message-ID: <a@b>\r\n";
        for (int i = 0; i < 200; ++i)
            annidata += "Content-Type: multipart/mixed; boundary=b" + QByteArray::number(i) + "\r\n\r\n--b" +
                        QByteArray::number(i) + "\r\n";
        QVERIFY(errore(annidata).contains(QStringLiteral("livelli")));
        QByteArray intestazioni = "X-Ricevuta: accettazione\r\n";
        for (int i = 0; i < 5000; ++i)
            intestazioni += "X-A: b\r\n";
        QVERIFY(errore(intestazioni).contains(QStringLiteral("intestazioni")));
        QByteArray parti = "X-Ricevuta: accettazione\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n";
        for (int i = 0; i < 5000; ++i)
            parti += "--b\r\n\r\nx\r\n";
        QVERIFY(errore(parti).contains(QStringLiteral("parti")));
        QVERIFY(errore(QByteArray(limiteEml + 1, 'a')).contains(QStringLiteral("MB")));
        // The largest receipt allowed, its original ten levels down: read at once, its
        // parts never copied level by level.
        {
            QByteArray grande = "X-Ricevuta: accettazione\r\nX-Riferimento-Message-ID: <a@b>\r\n";
            QByteArray chiusura;
            for (int i = 0; i < 10; ++i) {
                const QByteArray b = "liv" + QByteArray::number(i);
                grande += "Content-Type: multipart/mixed; boundary=" + b + "\r\n\r\n--" + b + "\r\n";
                chiusura.prepend("\r\n--" + b + "--\r\n");
            }
            grande += "Content-Type: message/rfc822\r\n\r\n";
            grande += QByteArray(limiteEml - grande.size() - chiusura.size(), 'x') + chiusura;
            QCOMPARE(grande.size(), limiteEml);
            QElapsedTimer t;
            t.start();
            const Ricevuta g = leggi(grande);
            QVERIFY(!g.conDaticert);
            QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
        }

        // Random damage to a real receipt: an answer (a receipt or a line) every time, quickly.
        const QByteArray base = ricevuta(consegna(QStringLiteral("rossi@pec.rossi.it")), "avvenuta-consegna",
                                         Codifica::QuotedPrintable);
        QRandomGenerator rng(26);
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 1500; ++i) {
            const QByteArray m = TestEnv::mutate(base, rng, "\r\n-=<>&;:\"'/ \t0aZ=?", 8, true);
            try {
                leggiRicevuta(m);
            } catch (const sz::Error& e) {
                QVERIFY(!e.message().isEmpty());
            }
        }
        QVERIFY2(t.elapsed() < 60000, qPrintable(QString::number(t.elapsed())));
    }

    void abbinamento()
    {
        Lettera a, b, c;
        a.messageId = idLettera;
        b.messageId = QStringLiteral("<comune@pec.ditta.it>");
        c.messageId = QStringLiteral("<comune@mail.ditta.it>");
        const QList<Lettera> log = {a, b, c};
        // Angle brackets, blanks and the domain's case do not matter.
        QCOMPARE(letteraDi(log, QStringLiteral(" 3f2c9a10-5b7e-4c1d-9e2a-7a1b2c3d4e5f@PEC.Ditta.IT")).messageId, idLettera);
        // A provider that rewrote the domain: the local part names the letter alone.
        QCOMPARE(letteraDi(log, QStringLiteral("<3f2c9a10-5b7e-4c1d-9e2a-7a1b2c3d4e5f@pec.gestore.it>")).messageId,
                 idLettera);
        // The local part is the sender's: its case is not ignored.
        QVERIFY(!letteraDi(log, QStringLiteral("<3F2C9A10-5B7E-4C1D-9E2A-7A1B2C3D4E5F@pec.ditta.it>")).valida());
        // Exact ids still match when the local part is shared ...
        QCOMPARE(letteraDi(log, QStringLiteral("<comune@MAIL.ditta.it>")).messageId, c.messageId);
        // ... but a shared local part alone names no letter.
        QVERIFY(!letteraDi(log, QStringLiteral("<comune@pec.gestore.it>")).valida());
        QVERIFY(!letteraDi(log, QStringLiteral("<di-un-altro@pec.altro.it>")).valida());
        QVERIFY(!letteraDi(log, QString()).valida());
    }

    // Filed beside the letter's PDF, byte for byte, once; a receipt for another sender's
    // message is not stored; a different file never overwritten.
    void archiviazione()
    {
        // The command-line tool's own folders (the program folder's name is the tool's),
        // so that what the test files and what the tool files are the same archive.
        TestEnv env;
        const QString database = env.commandDatabase();
        QCOMPARE(TestEnv::runCli({QStringLiteral("upgrade")}, env.home()).code, 0);
        const QString root = env.documents() + QStringLiteral("/Scadenzio/");
        sz::db::Connection conn(database);
        const QString cartella = root + QStringLiteral("Archivio/Solleciti per Cliente/2027-01-15/");
        QVERIFY(QDir().mkpath(cartella));
        const QString pdf = cartella + QStringLiteral("20270115_ROSSI SRL.pdf");
        QFile p(pdf);
        QVERIFY(p.open(QIODevice::WriteOnly));
        p.write("%PDF-1.4\n");
        p.close();
        for (const char* doc : {"12/A", "13/A"}) {
            sz::invii::Invio v;
            v.idCredito = 1;
            v.cliente = QStringLiteral("ROSSI SRL");
            v.numeroFattura = QLatin1String(doc);
            v.fase = QStringLiteral("SOLLECITO1");
            v.modo = QStringLiteral("CLIENTE");
            v.dataOra = QDateTime(QDate(2027, 1, 15), QTime(10, 29));
            v.file = sz::invii::percorsoRelativo(root, pdf);
            v.canale = QStringLiteral("PEC");
            v.destinatari = QStringLiteral("rossi@pec.rossi.it, Amministrazione@pec.rossi.it");
            v.messageId = idLettera;
            v.esito = sz::invii::Inviata;
            sz::invii::registra(conn, v);
        }
        const auto righe = [&] { return conn.scalar(QStringLiteral("SELECT COUNT(*) FROM t_ricevute")).toInt(); };

        Dati acc;
        acc.tipo = QStringLiteral("accettazione");
        acc.consegna.clear();
        const QByteArray accettazione = ricevuta(acc, "accettazione");
        const Archiviazione a = archivia(conn, root, accettazione);
        QCOMPARE(a.esito, Archiviazione::Esito::Registrata);
        QCOMPARE(a.firma, Firma::Integra);
        QCOMPARE(a.lettera.documenti, QStringList({QStringLiteral("12/A"), QStringLiteral("13/A")}));
        QCOMPARE(a.file, QStringLiteral("Archivio/Solleciti per Cliente/2027-01-15/20270115_ROSSI SRL - ACCETTAZIONE.eml"));
        QFile f(root + a.file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), accettazione);
        QCOMPARE(f.permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
        const sz::db::Result row = conn.query(QStringLiteral("SELECT MessageID, Tipo, Destinatario, DataOra, Gestore, "
                                                             "Identificativo, File FROM t_ricevute"));
        QCOMPARE(row.rows.size(), 1);
        QCOMPARE(row.rows[0][0].toString(), idLettera);
        QCOMPARE(row.rows[0][1].toString(), QStringLiteral("accettazione"));
        QCOMPARE(row.rows[0][3].toString(),
                 QDateTime(QDate(2027, 1, 15), QTime(9, 30), Qt::UTC).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QCOMPARE(row.rows[0][6].toString(), a.file);
        // The letter log shows the letter's state on each of its rows.
        const auto statiNelRegistro = [&] {
            const auto log = TestEnv::runCli({QStringLiteral("letters"), QStringLiteral("log")}, env.home());
            QStringList stati;
            const QStringList linee = log.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            for (const QString& l : linee)
                stati << l.section(QLatin1Char('\t'), -1);
            return stati;
        };
        QCOMPARE(statiNelRegistro(),
                 (QStringList{QStringLiteral("Stato PEC"), QStringLiteral("Accettata"), QStringLiteral("Accettata")}));

        // Read again, and again with other transport headers (the same receipt from the
        // mailbox and from web mail): one row, one file.
        QCOMPARE(archivia(conn, root, accettazione).esito, Archiviazione::Esito::GiaRegistrata);
        QCOMPARE(archivia(conn, root, "Received: by altro\r\n" + accettazione).esito,
                 Archiviazione::Esito::GiaRegistrata);
        QCOMPARE(righe(), 1);

        // One delivery receipt per recipient, each in a file of its own; a file already
        // holding the name with other bytes is kept and the receipt goes beside it.
        Dati c2 = consegna(QStringLiteral("amministrazione@pec.rossi.it"));
        const QString occupato = cartella + QStringLiteral("20270115_ROSSI SRL - CONSEGNA amministrazione@pec.rossi.it.eml");
        QFile o(occupato);
        QVERIFY(o.open(QIODevice::WriteOnly));
        o.write("altro");
        o.close();
        const Archiviazione d1 = archivia(conn, root, ricevuta(consegna(QStringLiteral("rossi@pec.rossi.it")),
                                                              "avvenuta-consegna"));
        const Archiviazione d2 = archivia(conn, root, ricevuta(c2, "avvenuta-consegna", Codifica::QuotedPrintable));
        QCOMPARE(d1.esito, Archiviazione::Esito::Registrata);
        QCOMPARE(d2.esito, Archiviazione::Esito::Registrata);
        QVERIFY(d1.file.endsWith(QStringLiteral("20270115_ROSSI SRL - CONSEGNA rossi@pec.rossi.it.eml")));
        QVERIFY2(d2.file.endsWith(QStringLiteral("CONSEGNA amministrazione@pec.rossi.it (2).eml")), qPrintable(d2.file));
        QVERIFY(o.open(QIODevice::ReadOnly));
        QCOMPARE(o.readAll(), QByteArray("altro"));
        QCOMPARE(righe(), 3);
        QCOMPARE(statoLettera(a.lettera, ricevuteDi(conn, idLettera), QDateTime::currentDateTime()).stato,
                 QStringLiteral("Consegnata"));
        QCOMPARE(statiNelRegistro().value(2), QStringLiteral("Consegnata"));

        // Another sender's message, and a message that is no receipt: nothing stored.
        Dati estranea = acc;
        estranea.msgid = QStringLiteral("<di-un-altro@pec.altro.it>");
        estranea.identificativo = QStringLiteral("opec.altro@pec.gestore.it");
        QCOMPARE(archivia(conn, root, ricevuta(estranea, "accettazione")).esito, Archiviazione::Esito::Estranea);
        QCOMPARE(archivia(conn, root, "From: a@b.it\r\n\r\nciao\r\n").esito, Archiviazione::Esito::NonRicevuta);
        QCOMPARE(righe(), 3);
        QCOMPARE(QDir(cartella).entryList(QDir::Files | QDir::Hidden).size(), 5); // PDF, 3 receipts, "altro"

        // The command line: one line per file, errors on standard error.
        QFile salvata(env.home() + QStringLiteral("/errore.eml"));
        Dati err;
        err.tipo = QStringLiteral("errore-consegna");
        err.consegna = QStringLiteral("rossi@pec.rossi.it");
        err.identificativo = QStringLiteral("opec.err@pec.gestore.it");
        err.erroreEsteso = QStringLiteral("5.1.1 - Casella inesistente");
        QVERIFY(salvata.open(QIODevice::WriteOnly));
        salvata.write(ricevuta(err, "errore-consegna"));
        salvata.close();
        QFile rotta(env.home() + QStringLiteral("/rotta.eml"));
        QVERIFY(rotta.open(QIODevice::WriteOnly));
        rotta.write("X-Ricevuta: accettazione\r\n\r\n");
        rotta.close();
        QFile altrui(env.home() + QStringLiteral("/altrui.eml"));
        QVERIFY(altrui.open(QIODevice::WriteOnly));
        altrui.write(ricevuta(estranea, "accettazione"));
        altrui.close();
        Dati manomessa = consegna(QStringLiteral("amministrazione@pec.rossi.it"));
        manomessa.identificativo = QStringLiteral("opec.manomessa@pec.gestore.it");
        QFile alterata(env.home() + QStringLiteral("/alterata.eml"));
        QVERIFY(alterata.open(QIODevice::WriteOnly));
        alterata.write(ricevuta(manomessa, "avvenuta-consegna", Codifica::Chiara).replace("DI PROVA", "DI PROVB"));
        alterata.close();
        const auto r = TestEnv::runCli({QStringLiteral("pec"), QStringLiteral("receipts"), salvata.fileName(),
                                        rotta.fileName(), env.home() + QStringLiteral("/manca.eml"), altrui.fileName(),
                                        alterata.fileName()},
                                       env.home());
        QVERIFY2(r.code == 1, qPrintable(r.err));
        const QStringList linee = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(linee.size(), 4);
        QVERIFY(linee[3].contains(QStringLiteral("\tregistrata in ")));
        QCOMPARE(linee[2], altrui.fileName() + QStringLiteral("\taccettazione\trossi@pec.rossi.it\t\tnon riguarda una comunicazione di "
                                                              "Scadenzio: non registrata"));
        QCOMPARE(linee[0], QStringLiteral("File\tTipo\tDestinatario\tComunicazione\tEsito"));
        QVERIFY2(linee[1].startsWith(salvata.fileName() + QStringLiteral("\terrore-consegna\trossi@pec.rossi.it\t"
                                                                          "ROSSI SRL, doc. 12/A, 13/A\tregistrata in ")),
                 qPrintable(linee[1]));
        const QStringList errori = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(errori.size(), 3);
        QVERIFY(errori[0].startsWith(QStringLiteral("ATTENZIONE: ") + rotta.fileName()));
        QVERIFY(errori[1].contains(QStringLiteral("non esiste")));
        QVERIFY(errori[2].startsWith(QStringLiteral("ATTENZIONE: ") + alterata.fileName() +
                                     QStringLiteral(": la firma del gestore non corrisponde")));

        const auto s = TestEnv::runCli({QStringLiteral("pec"), QStringLiteral("status")}, env.home());
        QCOMPARE(s.code, 0);
        QVERIFY2(s.out.contains(QStringLiteral("\tConsegnata\t")), qPrintable(s.out));
        const auto nessuno = TestEnv::runCli({QStringLiteral("pec"), QStringLiteral("receipts")}, env.home());
        QCOMPARE(nessuno.code, 2);
        QVERIFY(nessuno.err.contains(QStringLiteral("non è configurato")));
        const auto ignoto = TestEnv::runCli({QStringLiteral("pec"), QStringLiteral("status"), QStringLiteral("999")},
                                            env.home());
        QCOMPARE(ignoto.code, 1);
    }

    void stati()
    {
        Lettera l;
        l.messageId = idLettera;
        l.destinatari = {QStringLiteral("a@pec.it"), QStringLiteral("b@pec.it")};
        const QDateTime accettata(QDate(2027, 1, 15), QTime(10, 0));
        const auto ric = [&](Tipo t, const QString& dest = {}, const QString& err = {}) {
            RicevutaRegistrata r;
            r.tipo = t;
            r.destinatario = dest;
            r.dataOra = accettata.addSecs(60);
            r.erroreEsteso = err;
            return r;
        };
        const RicevutaRegistrata acc = [&] {
            RicevutaRegistrata r = ric(Tipo::Accettazione);
            r.dataOra = accettata;
            return r;
        }();
        const QDateTime poco = accettata.addSecs(3600), dopo = accettata.addSecs(25 * 3600);

        QCOMPARE(statoLettera(l, {}, dopo).stato, QStringLiteral("In attesa"));
        QVERIFY(!statoLettera(l, {}, dopo).senzaConsegna24h);
        StatoLettera s = statoLettera(l, {acc}, poco);
        QCOMPARE(s.stato, QStringLiteral("Accettata"));
        QVERIFY(!s.senzaConsegna24h);
        s = statoLettera(l, {acc}, dopo);
        QVERIFY(s.senzaConsegna24h);
        QVERIFY(s.testo().contains(QStringLiteral("24 ore")));

        s = statoLettera(l, {acc, ric(Tipo::AvvenutaConsegna, QStringLiteral("a@pec.it"))}, dopo);
        QCOMPARE(s.stato, QStringLiteral("Consegna parziale"));
        QVERIFY(s.senzaConsegna24h); // b still without one
        QCOMPARE(s.senzaEsito, QStringList{QStringLiteral("b@pec.it")});

        s = statoLettera(l, {acc, ric(Tipo::AvvenutaConsegna, QStringLiteral("a@pec.it")),
                             ric(Tipo::AvvenutaConsegna, QStringLiteral("b@pec.it"))},
                         dopo);
        QCOMPARE(s.stato, QStringLiteral("Consegnata"));
        QVERIFY(!s.senzaConsegna24h);

        const QString nota12 = QStringLiteral("5.1.1 - Casella inesistente");
        s = statoLettera(l, {acc, ric(Tipo::ErroreConsegna, QStringLiteral("a@pec.it"), nota12),
                             ric(Tipo::ErroreConsegna, QStringLiteral("b@pec.it"), nota12)},
                         poco);
        QCOMPARE(s.stato, QStringLiteral("Non consegnata"));
        QCOMPARE(s.motivo, nota12);
        QCOMPARE(s.testo(), QStringLiteral("Non consegnata: ") + nota12);

        s = statoLettera(l, {acc, ric(Tipo::AvvenutaConsegna, QStringLiteral("a@pec.it")),
                             ric(Tipo::ErroreConsegna, QStringLiteral("b@pec.it"), nota12)},
                         dopo);
        QCOMPARE(s.stato, QStringLiteral("Consegna parziale"));
        QCOMPARE(s.motivo, nota12);
        QVERIFY(!s.senzaConsegna24h); // every recipient has its final word

        // A failure that names no mailbox fails whoever has no delivery yet.
        s = statoLettera(l, {acc, ric(Tipo::AvvenutaConsegna, QStringLiteral("a@pec.it")), ric(Tipo::ErroreConsegna, {}, nota12)},
                         poco);
        QCOMPARE(s.stato, QStringLiteral("Consegna parziale"));
        QCOMPARE(s.nonConsegnati, QStringList{QStringLiteral("b@pec.it")});

        s = statoLettera(l, {ric(Tipo::NonAccettazione, {}, QStringLiteral("Messaggio troppo grande"))}, poco);
        QCOMPARE(s.stato, QStringLiteral("Non accettata"));
        QCOMPARE(s.motivo, QStringLiteral("Messaggio troppo grande"));

        // A warning at 12 hours is no outcome: still waiting for b, and flagged after 24.
        s = statoLettera(l, {acc, ric(Tipo::AvvenutaConsegna, QStringLiteral("a@pec.it")),
                             ric(Tipo::PreavvisoErroreConsegna, QStringLiteral("b@pec.it"))},
                         dopo);
        QCOMPARE(s.stato, QStringLiteral("Consegna parziale"));
        QVERIFY(s.senzaConsegna24h);
        QVERIFY(s.daControllare());
        QVERIFY(!statoLettera(l, {acc}, poco).daControllare());
        QVERIFY(statoLettera(l, {acc}, dopo).daControllare());
    }

    // The receipt a clerk opens is the one that settles the letter, and only a receipt of
    // the archive: a row of the database must never hand the desktop some other file.
    void ricevutaDaAprire()
    {
        QTemporaryDir radice, fuori;
        QVERIFY(radice.isValid() && fuori.isValid());
        const auto scrivi = [](const QString& path) {
            QDir().mkpath(QFileInfo(path).path());
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write("From: x\r\n\r\n") > 0;
        };
        QVERIFY(scrivi(radice.filePath(QStringLiteral("Archivio/2027/l - ACCETTAZIONE.eml"))));
        QVERIFY(scrivi(radice.filePath(QStringLiteral("Archivio/2027/l - CONSEGNA a@pec.it.eml"))));
        QVERIFY(scrivi(fuori.filePath(QStringLiteral("altrove.eml"))));
        QVERIFY(scrivi(radice.filePath(QStringLiteral("Archivio/2027/avvia.sh"))));
        QVERIFY(QFile::link(fuori.filePath(QStringLiteral("altrove.eml")),
                            radice.filePath(QStringLiteral("Archivio/2027/legame.eml"))));
        const auto r = [](Tipo t, const QString& file) {
            RicevutaRegistrata v;
            v.tipo = t;
            v.file = file;
            return v;
        };
        const RicevutaRegistrata acc = r(Tipo::Accettazione, QStringLiteral("Archivio/2027/l - ACCETTAZIONE.eml"));
        const RicevutaRegistrata cons = r(Tipo::AvvenutaConsegna, QStringLiteral("Archivio/2027/l - CONSEGNA a@pec.it.eml"));
        const QString root = radice.path() + QLatin1Char('/');
        QString errore;
        QCOMPARE(sz::pec::ricevutaDaAprire({acc, cons}, root, &errore), QFileInfo(radice.filePath(cons.file)).canonicalFilePath());
        // A later acceptance (read late) does not hide the delivery.
        QCOMPARE(sz::pec::ricevutaDaAprire({cons, acc}, root, &errore), QFileInfo(radice.filePath(cons.file)).canonicalFilePath());
        QCOMPARE(sz::pec::ricevutaDaAprire({acc}, root, &errore), QFileInfo(radice.filePath(acc.file)).canonicalFilePath());

        QVERIFY(sz::pec::ricevutaDaAprire({}, root, &errore).isEmpty());
        QVERIFY(errore.contains(QStringLiteral("non è ancora arrivata")));
        QVERIFY(sz::pec::ricevutaDaAprire({r(Tipo::AvvenutaConsegna, QStringLiteral("Archivio/2027/sparita.eml"))}, root,
                                          &errore).isEmpty());
        QVERIFY(errore.contains(QStringLiteral("non si trova più")));
        for (const QString& ostile : {QStringLiteral("Archivio/2027/avvia.sh"), QStringLiteral("Archivio/2027/legame.eml"),
                                      QStringLiteral("../") + QFileInfo(fuori.path()).fileName() + QStringLiteral("/altrove.eml"),
                                      fuori.filePath(QStringLiteral("altrove.eml"))}) {
            errore.clear();
            QVERIFY2(sz::pec::ricevutaDaAprire({r(Tipo::AvvenutaConsegna, ostile)}, root, &errore).isEmpty(), qPrintable(ostile));
            QVERIFY2(errore.contains(QStringLiteral("non viene aperto")), qPrintable(errore));
        }
    }
};

QTEST_GUILESS_MAIN(TstPec)
#include "tst_pec.moc"
