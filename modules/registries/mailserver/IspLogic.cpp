#include "IspLogic.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Ini.h"
#include "scadenzio/Paths.h"

#include <QFile>
#include <QStringDecoder>

namespace sz::mailserver {

namespace {

const QString FailurePrefix =
    QStringLiteral("Si è verificato il seguente errore durante la procedura di verifica dei dati: ");

// The files may come from an older installation written on Windows in Latin-1.
QString readText(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

std::optional<int> portNumber(const QString& text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < 1 || n > 65535)
        return std::nullopt;
    return n;
}

} // namespace

QString providerListPath()
{
    return paths::settingsRoot() + QStringLiteral("Config/SezioneRegistrazione_ListaISP.txt");
}

QString providerIniPath()
{
    return paths::settingsRoot() + QStringLiteral("Config/ListaISP.ini");
}

QStringList readProviderNames(const QString& listPath)
{
    QStringList names;
    const QString text = readText(listPath);
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString name = line.trimmed();
        if (!name.isEmpty())
            names << name.toUpper();
    }
    return names;
}

Provider readProvider(const QString& iniPath, const QString& name)
{
    Provider p;
    p.name = name;
    p.smtp = readIniValue(iniPath, name, QStringLiteral("SMTP"));
    p.port = portNumber(readIniValue(iniPath, name, QStringLiteral("Porta")));
    const QString security = readIniValue(iniPath, name, QStringLiteral("Sicurezza")).toUpper();
    if (security == QLatin1String("SSL"))
        p.security = mail::Security::Implicit;
    else if (security == QLatin1String("STARTTLS"))
        p.security = mail::Security::StartTls;
    else if (security == QLatin1String("NESSUNA"))
        p.security = mail::Security::None;
    const QString pec = readIniValue(iniPath, name, QStringLiteral("PEC")).trimmed();
    p.pec = pec == QLatin1String("1") || pec.compare(QLatin1String("SI"), Qt::CaseInsensitive) == 0;
    p.imap = readIniValue(iniPath, name, QStringLiteral("IMAP")).trimmed();
    p.imapPort = portNumber(readIniValue(iniPath, name, QStringLiteral("PortaIMAP")));
    return p;
}

QList<Provider> loadProviders(const QString& listPath, const QString& iniPath)
{
    QList<Provider> out;
    for (const QString& name : readProviderNames(listPath))
        out << readProvider(iniPath, name);
    return out;
}

QList<Provider> loadProviders()
{
    return loadProviders(providerListPath(), providerIniPath(),
                         paths::programFolder() + QStringLiteral("Config/ListaISP.ini"));
}

QList<Provider> loadProviders(const QString& listPath, const QString& iniPath, const QString& predefinito)
{
    QList<Provider> out = loadProviders(listPath, iniPath);
    // A list copied by an older version knows no certified mail: the program's own list
    // says which of the same servers are PEC and where their receipts are read.
    for (Provider& p : out) {
        if (p.pec || !p.imap.isEmpty() || p.smtp.trimmed().isEmpty())
            continue;
        const Provider nuovo = readProvider(predefinito, p.name);
        if (nuovo.pec && nuovo.smtp.trimmed().compare(p.smtp.trimmed(), Qt::CaseInsensitive) == 0) {
            p.pec = true;
            p.imap = nuovo.imap;
            p.imapPort = nuovo.imapPort;
        }
    }
    return out;
}

int matchProvider(const QList<Provider>& providers, const QString& smtp)
{
    if (providers.isEmpty())
        return -1;
    const QString wanted = smtp.trimmed().toUpper();
    for (int i = 0; i < providers.size(); ++i) {
        if (providers[i].smtp.trimmed().toUpper() == wanted)
            return i;
    }
    return 0;
}

mail::Server serverFromFields(const Fields& fields)
{
    mail::Server s;
    s.host = fields.smtp.trimmed();
    const QString port = fields.port.trimmed();
    if (!port.isEmpty()) {
        const auto n = portNumber(port);
        if (!n)
            throw Error(QStringLiteral("la porta \"%1\" non è valida: indicare un numero da 1 a 65535 "
                                       "(generalmente 25, 465 o 587)")
                            .arg(port));
        s.port = *n;
    }
    if (!fields.user.isEmpty() && !fields.password.isEmpty()) {
        s.user = fields.user;
        s.password = fields.password;
    }
    // Port 465 speaks TLS from the first byte: the letters are sent that way whatever
    // the choice says, so the test does the same.
    s.security = s.port == 465 ? mail::Security::Implicit : fields.security;
    s.caFile = readIniValue(paths::configIniPath(), QStringLiteral("Mail"), QStringLiteral("CAFile"));
    return s;
}

mail::Message testMessage(const QString& mail, const QString& smtp)
{
    mail::Message m;
    const QString address = mail.trimmed();
    m.from = address;
    m.to = QStringList{address};
    m.subject = QStringLiteral("Gestione Crediti - TEST Mail e Connessione");
    m.text = QStringList{QStringLiteral("La procedura di invio mail è stata eseguita correttamente."),
                         QStringLiteral("Mail in uso: ") + address, QString(),
                         QStringLiteral("SMTP utilizzato: ") + smtp.trimmed()}
                 .join(QStringLiteral("\r\n"));
    m.agent = QStringLiteral("Scadenzio");
    m.related = false;
    return m;
}

QString testSuccessText()
{
    return QStringLiteral("Verifica SMTP terminata con successo. E' stata inviata una mail di prova alla casella di "
                          "posta in uso; controllare l'avvenuta ricezione per avere ulteriore conferma.");
}

QString testFailureText(const Error& error)
{
    QString text = FailurePrefix + error.message();
    // What the server said ("535 5.7.8 ...") is what the provider's help desk asks for.
    if (const auto* m = dynamic_cast<const mail::MailError*>(&error)) {
        const QString reply = m->serverReply().trimmed();
        if (!reply.isEmpty() && !error.message().contains(reply))
            text += QStringLiteral(" (risposta del server: ") + reply + QLatin1Char(')');
    }
    return text;
}

SecurityFlags flagsFor(mail::Security security)
{
    return {security == mail::Security::StartTls, security == mail::Security::Implicit};
}

mail::Security securityOf(bool tls, bool ssl)
{
    if (ssl)
        return mail::Security::Implicit;
    return tls ? mail::Security::StartTls : mail::Security::None;
}

std::optional<QString> proposedPort(mail::Security chosen, const QString& currentPort)
{
    if (!currentPort.trimmed().isEmpty())
        return std::nullopt;
    switch (chosen) {
    case mail::Security::Implicit: return QStringLiteral("465");
    case mail::Security::StartTls: return QStringLiteral("587");
    case mail::Security::None: break;
    }
    return std::nullopt;
}

std::optional<ProposteImap> proposteImap(const Provider& provider)
{
    if (!provider.pec)
        return std::nullopt;
    return ProposteImap{provider.imap.trimmed().toUpper(),
                        QString::number(provider.imapPort.value_or(PortaImapPredefinita))};
}

QString problemaPec(const CampiPec& campi)
{
    if (!campi.pec)
        return {};
    // No incoming server is allowed: the receipts can also come as files saved from the
    // provider's web mail.
    for (const QChar c : campi.imap.trimmed())
        if (c.isSpace() || c.unicode() < 0x20 || c == QLatin1Char('/') || c == QLatin1Char('?') ||
            c == QLatin1Char('#') || c == QLatin1Char('@'))
            return QStringLiteral("ATTENZIONE: il server IMAP \"%1\" non è un nome di server valido.")
                .arg(campi.imap.trimmed());
    if (!campi.portaImap.trimmed().isEmpty() && !portNumber(campi.portaImap))
        return QStringLiteral("ATTENZIONE: la porta IMAP \"%1\" non è valida: indicare un numero da 1 a 65535 "
                              "(generalmente 993).")
            .arg(campi.portaImap.trimmed());
    if (!campi.messaggiMinuto.trimmed().isEmpty()) {
        bool ok = false;
        const int n = campi.messaggiMinuto.trimmed().toInt(&ok);
        if (!ok || n < 1 || n > 60)
            return QStringLiteral("ATTENZIONE: i messaggi al minuto \"%1\" non sono validi: indicare un numero da 1 "
                                  "a 60 (il gestore Legalmail ne accetta al massimo 6).")
                .arg(campi.messaggiMinuto.trimmed());
    }
    return {};
}

QString avvisoSicurezzaPec(const CampiPec& campi)
{
    if (!campi.pec)
        return {};
    const auto porta = portNumber(campi.portaSmtp);
    if (campi.sicurezza == mail::Security::Implicit || (porta && *porta == 465))
        return {};
    return QStringLiteral("ATTENZIONE: la posta certificata (PEC) richiede la connessione crittografata fin dal primo "
                          "collegamento: scegliere «SSL/TLS (porta 465)».");
}

void writeCompanyMail(db::Connection& conn, const QVariant& companyId, const QString& readMail,
                      const QString& newMail)
{
    if (companyId.isNull() || newMail == readMail)
        return;
    const QString now = conn.scalar(QStringLiteral("SELECT Mail FROM t_societa WHERE ID = :id"),
                                    {{QStringLiteral("id"), companyId}})
                            .toString();
    if (now != readMail)
        throw Error(QStringLiteral("la mail dell'azienda è stata modificata da un'altra finestra o postazione dopo "
                                   "che è stata letta; le modifiche non sono state salvate e restano sullo schermo. "
                                   "Annotarle e premere Annulla per leggere i dati attuali"));
    conn.exec(QStringLiteral("UPDATE t_societa SET Mail = :m WHERE ID = :id"),
              {{QStringLiteral("m"), newMail.isEmpty() ? QVariant() : QVariant(newMail)},
               {QStringLiteral("id"), companyId}});
}

} // namespace sz::mailserver
