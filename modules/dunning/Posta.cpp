#include "Posta.h"

#include "scadenzio/Orologio.h"
#include "scadenzio/Pianificazione.h"
#include "scadenzio/mail/Address.h"

#include <QFileInfo>
#include <QDateTime>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <chrono>
#include <thread>

namespace sz::dunning {

namespace {

const QString H = QStringLiteral("style=\"border-bottom: 1px solid #333; font-weight: bold;\"");
const QString C = QStringLiteral("style=\"border-bottom: 1px solid #333;\"");
const QString G = QStringLiteral("style=\"color: #333;\"");
const QString R = QStringLiteral("style=\"border-top: 1px solid #153E7E; font-size: 10px; color: #153E7E;\"");
const QString P = QStringLiteral("style=\"font-size: 10px; color: green; font-weight: bold;\"");
const QString apertaTabella =
    QStringLiteral("<table cellspacing=\"0\" width=\"100%\" style=\"font-family: Arial, Helvetica, sans-serif; "
                   "font-size: 11px;\">");

QString esc(const QString& s)
{
    return s.toHtmlEscaped();
}

QString valore(const Valori& v, const char* campo)
{
    return esc(testoValore(v.value(QLatin1String(campo))).trimmed());
}

// Escaped first, so the breaks that come back are the only markup in the text. A text
// saved by the editor has LF, a seed text CR LF, one pasted from elsewhere maybe a lone CR.
QString conAcapo(const QString& testo)
{
    QString t = esc(testo);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    t.replace(QLatin1Char('\n'), QStringLiteral("<br />"));
    return t;
}

void celleCredito(QStringList& l, const Valori& c)
{
    l << QStringLiteral("<td ") + C + QStringLiteral(" align=\"center\">") + valore(c, "NumeroFattura") + QStringLiteral("</td>");
    l << QStringLiteral("<td ") + C + QStringLiteral(" align=\"center\">") + valore(c, "DataFattura") + QStringLiteral("</td>");
    l << QStringLiteral("<td ") + C + QStringLiteral(" align=\"center\">") + valore(c, "Scadenza") + QStringLiteral("</td>");
    l << QStringLiteral("<td ") + C + QStringLiteral(" align=\"left\">") + valore(c, "DestinatarioFattura") + QStringLiteral("</td>");
    l << QStringLiteral("<td ") + C + QStringLiteral(" align=\"right\">") + valore(c, "ImportoParziale") + QStringLiteral("</td>");
    l << QStringLiteral("<td ") + C + QStringLiteral(" align=\"right\">") + valore(c, "ImportoResiduo") + QStringLiteral("</td>");
}

// The letter's interest block: each credit's interest with its rates, the € 40, the total
// due with its date, and the clause.
void bloccoInteressi(QStringList& l, const BloccoInteressi& b)
{
    if (!b.mostrato)
        return;
    const auto riga = [&](const QString& voce, const Money& m, bool grassetto) {
        const QString importo = esc(FormattaValuta(m));
        l << QStringLiteral("<tr><td ") + C + QLatin1Char('>') + voce + QStringLiteral("</td><td ") + C +
                 QStringLiteral(" align=\"right\">") +
                 (grassetto ? QStringLiteral("<strong>") + importo + QStringLiteral("</strong>") : importo) +
                 QStringLiteral("</td></tr>");
    };
    l << QStringLiteral("<p><strong>Interessi di mora e somme dovute</strong></p>");
    l << apertaTabella;
    for (const auto& r : b.righe) {
        riga(QStringLiteral("Documento N° ") + esc(r.numeroFattura) + QStringLiteral(" del ") + esc(r.dataFattura) +
                 QStringLiteral(", scaduto il ") + esc(r.scadenza) + QStringLiteral(": residuo"),
             r.residuo, false);
        riga(QStringLiteral("Interessi di mora<br />") + esc(r.tassi), r.interessi, false);
    }
    if (b.indennizzo > Money())
        riga(QStringLiteral("Importo forfettario per il ritardo nel pagamento") +
                 (b.documentiIndennizzo > 1 ? QStringLiteral(" (%1 documenti)").arg(b.documentiIndennizzo) : QString()),
             b.indennizzo, false);
    riga(QStringLiteral("<strong>TOTALE DOVUTO</strong>"), b.totale, true);
    l << QStringLiteral("</table>");
    l << QStringLiteral("<p>Vi invitiamo a corrispondere l'importo totale di <strong>") + esc(FormattaValuta(b.totale)) +
             QStringLiteral("</strong> entro il <strong>") + esc(b.dataTermine) + QStringLiteral("</strong>.</p>");
    l << QStringLiteral("<p style=\"font-size: 11px;\">") + esc(b.clausola) + QStringLiteral("</p>");
}

} // namespace

QString corpoMail(const Invio& invio)
{
    QStringList l;
    l << QStringLiteral("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" /><title>") +
             esc(invio.oggetto) +
             QStringLiteral("</title></head><body style=\"font-family: Arial, Helvetica, sans-serif; font-size: 13px; "
                            "text-align: justify; color:#000;\">");
    l << QStringLiteral("<p>") + conAcapo(invio.introduzione) + QStringLiteral("</p>");
    l << apertaTabella;
    l << QStringLiteral("<tr>");
    for (const char* titolo : {"DOC. N°", "EMESSO IL", "SCADENZA", "DESTINATARIO DOCUMENTO", "IMPORTO", "DA PAGARE"})
        l << QStringLiteral("<td ") + H + QStringLiteral(" align=\"center\">") + QString::fromUtf8(titolo) +
                 QStringLiteral("</td>");
    if (!invio.perCliente) {
        l << QStringLiteral("</tr>") << QStringLiteral("<tr>");
        if (!invio.crediti.isEmpty())
            celleCredito(l, invio.crediti.first());
        l << QStringLiteral("</tr>");
    } else {
        l << QStringLiteral("<td ") + H + QStringLiteral(" align=\"center\">COMUNICAZIONE</td>");
        l << QStringLiteral("</tr>");
        Money totale;
        for (const Valori& c : invio.crediti) {
            l << QStringLiteral("<tr>");
            celleCredito(l, c);
            l << QStringLiteral("<td ") + C + QStringLiteral(" align=\"center\">") + valore(c, "Comunicazione") +
                     QStringLiteral("</td>");
            l << QStringLiteral("</tr>");
            const QVariant residuo = c.value(QStringLiteral("Residuo"));
            if (residuo.userType() == qMetaTypeId<Money>())
                totale += residuo.value<Money>();
        }
        l << QStringLiteral("<tr>");
        for (int i = 0; i < 3; ++i)
            l << QStringLiteral("<td ") + C + QStringLiteral("></td>");
        l << QStringLiteral("<td ") + C + QStringLiteral(" colspan=\"2\" align=\"right\"><strong>TOTALE DA PAGARE</strong></td>");
        l << QStringLiteral("<td ") + C + QStringLiteral(" align=\"right\"><strong>") + esc(FormattaValuta(totale)) +
                 QStringLiteral("</strong></td>");
        l << QStringLiteral("<td ") + C + QStringLiteral("></td>");
        l << QStringLiteral("</tr>");
    }
    l << QStringLiteral("</table>");
    bloccoInteressi(l, invio.interessi);
    l << QStringLiteral("<p>I pagamenti potranno essere effettuati utilizzando le seguenti coordinate bancarie:<br /></p>");
    l << apertaTabella;
    l << QStringLiteral("<tr>");
    l << QStringLiteral("<td ") + H + QStringLiteral(">BANCA D'APPOGGIO</td>");
    l << QStringLiteral("<td ") + H + QStringLiteral(">AGENZIA</td>");
    l << QStringLiteral("<td ") + H + QStringLiteral(">IBAN</td>");
    l << QStringLiteral("</tr>");
    for (const Valori& b : invio.banche) {
        l << QStringLiteral("<tr>");
        l << QStringLiteral("<td ") + C + QLatin1Char('>') + valore(b, "nome") + QStringLiteral("</td>");
        l << QStringLiteral("<td ") + C + QLatin1Char('>') + valore(b, "agenzia") + QStringLiteral("</td>");
        l << QStringLiteral("<td ") + C + QLatin1Char('>') + valore(b, "IBAN") + QStringLiteral("</td>");
        l << QStringLiteral("</tr>");
    }
    l << QStringLiteral("</table>");
    l << QStringLiteral("<p>") + conAcapo(invio.finale) + QStringLiteral("</p>");
    l << QStringLiteral("<br />") << QStringLiteral("<br />");

    const Valori& s = invio.societa;
    l << QStringLiteral("<p ") + G + QLatin1Char('>') + valore(s, "RagioneSociale") + QStringLiteral("<br />");
    l << valore(s, "Indirizzo") + QStringLiteral("<br />");
    l << valore(s, "CAP") + valore(s, "Localita") + QLatin1Char('(') + valore(s, "Provincia") + QLatin1Char(')') +
             QStringLiteral("<br />");
    if (const QString v = valore(s, "Telefono"); !v.isEmpty())
        l << QStringLiteral("Tel.:") + v + QStringLiteral("<br />");
    if (const QString v = valore(s, "Cell"); !v.isEmpty())
        l << QStringLiteral("Cell.:") + v + QStringLiteral("<br />");
    if (const QString v = valore(s, "Fax"); !v.isEmpty())
        l << QStringLiteral("Fax:") + v + QStringLiteral("<br />");
    if (const QString v = valore(s, "Mail"); !v.isEmpty())
        l << QStringLiteral("Mail: <a href=\"mailto:") + v + QStringLiteral("\">") + v + QStringLiteral("</a>");
    l << QStringLiteral("</p>");
    l << QStringLiteral("<p ") + R +
             QStringLiteral(">Nota di riservatezza<br />Il presente messaggio può  contenere  informazioni da "
                            "considerarsi strettamente riservate, ed è destinato esclusivamente al/ai  "
                            "destinatario/i sopra indicato/i.");
    l << QStringLiteral("Chiunque ricevesse questo messaggio per errore  o comunque lo leggesse senza esserne "
                        "legittimato  deve intendersi avvertito che qualsiasi forma di diffusione dei dati, dei fatti "
                        "e delle notizie apprese");
    l << QStringLiteral(" è assolutamente vietata nonché perseguita ai sensi della legge ed è pregato  di rinviarlo "
                        "immediatamente al mittente distruggendone l’originale.<p>");
    l << QStringLiteral("<p ") + P +
             QStringLiteral(">Si prega di non stampare questa mail se non strattamente necessario. Grazie</p>");
    l << QStringLiteral("</body></html>");
    return l.join(QStringLiteral("\r\n"));
}

sz::mail::Message InviaMail(const Invio& invio, bool certificata)
{
    sz::mail::Message m;
    m.from = invio.mittente;
    for (const QString& campo : {invio.mail1, invio.mail2, invio.mail3})
        m.to << sz::mail::dividiIndirizzi(campo);
    if (!invio.mittente.isEmpty() && !certificata)
        m.blindCopy << invio.mittente;
    m.subject = invio.oggetto;
    m.html = corpoMail(invio);
    m.attachments << sz::mail::Attachment{invio.pdf, QStringLiteral("application/pdf")};
    m.related = true;
    return m;
}

namespace {

constexpr qint64 minuto = 60 * 1000;

qint64 orologioDiSistema()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void pausaDiSistema(qint64 ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

Cadenza::Cadenza(int perMinuto, Orologio orologio, Pausa pausa)
    : m_perMinuto(qBound(1, perMinuto, 60)), m_orologio(orologio ? std::move(orologio) : Orologio(orologioDiSistema)),
      m_pausa(pausa ? std::move(pausa) : Pausa(pausaDiSistema))
{
}

void Cadenza::impostaPerMinuto(int perMinuto)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_perMinuto = qBound(1, perMinuto, 60);
}

bool Cadenza::attendiTurno(const std::function<bool()>& fermato)
{
    for (;;) {
        qint64 attesa = 0;
        {
            std::lock_guard<std::mutex> l(m_mutex);
            const qint64 ora = m_orologio();
            while (!m_invii.empty() && m_invii.front() <= ora - minuto)
                m_invii.pop_front();
            if (int(m_invii.size()) < m_perMinuto)
                return true;
            // The message that leaves the window first is the one perMinuto places back.
            attesa = m_invii[m_invii.size() - size_t(m_perMinuto)] + minuto - ora;
        }
        if (fermato && fermato())
            return false;
        // Short naps, so Annulla or a stop of the service is seen within a moment.
        m_pausa(std::clamp<qint64>(attesa, 1, 200));
    }
}

void Cadenza::registra()
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_invii.push_back(m_orologio());
    // Only the last perMinuto can ever matter.
    while (int(m_invii.size()) > 60)
        m_invii.pop_front();
}

void Cadenza::ricorda(qint64 msFa)
{
    std::lock_guard<std::mutex> l(m_mutex);
    const qint64 quando = m_orologio() - std::max<qint64>(0, msFa);
    m_invii.insert(std::upper_bound(m_invii.begin(), m_invii.end(), quando), quando);
    while (int(m_invii.size()) > 60)
        m_invii.pop_front();
}

std::shared_ptr<Cadenza> cadenzaCasella(const sz::mail::Server& server, int perMinuto,
                                        const QList<qint64>& inviatiMsFa)
{
    // Two runs of the window one after the other keep one count.
    static std::mutex mutex;
    static QHash<QString, std::shared_ptr<Cadenza>> caselle;
    const QString chiave = server.host.trimmed().toLower() + QLatin1Char('\n') + QString::number(server.port) +
                           QLatin1Char('\n') + server.user;
    std::lock_guard<std::mutex> l(mutex);
    auto& c = caselle[chiave];
    if (!c) {
        c = std::make_shared<Cadenza>(perMinuto);
        for (qint64 ms : inviatiMsFa)
            c->ricorda(ms);
    } else
        c->impostaPerMinuto(perMinuto);
    return c;
}

RegolePosta regolePosta(sz::db::Connection& conn)
{
    const auto pec = sz::pianificazione::leggiImpostazioniPec(conn);
    RegolePosta r;
    r.certificata = pec.pec;
    r.messaggiMinuto = pec.messaggiMinuto;
    if (!r.certificata)
        return r;
    // The log keeps whole seconds: each message is taken as a second later than written.
    const QDateTime ora = sz::adesso();
    const auto recenti = conn.query(QStringLiteral("SELECT DataOra, MessageID FROM t_invii WHERE Canale = 'PEC' AND "
                                                   "MessageID IS NOT NULL AND DataOra >= :Da"),
                                    {{QStringLiteral("Da"),
                                      ora.addSecs(-61).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
    QSet<QString> visti;
    for (const auto& row : recenti.rows) {
        const QString id = row[1].toString();
        const QDateTime quando = QDateTime::fromString(row[0].toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (id.isEmpty() || !quando.isValid() || visti.contains(id))
            continue;
        visti.insert(id);
        r.inviatiMsFa << std::max<qint64>(0, quando.msecsTo(ora) - 1000);
    }
    return r;
}

Spedizione spedizioneSmtp(const sz::mail::Server& server, RegolePosta regole)
{
    std::shared_ptr<Cadenza> cadenza;
    if (regole.certificata)
        cadenza = regole.cadenza ? regole.cadenza
                                 : cadenzaCasella(server, regole.messaggiMinuto, regole.inviatiMsFa);
    const bool certificata = regole.certificata;
    const std::function<bool()> fermato = [cancel = server.cancel, f = regole.fermato] {
        return (cancel && cancel->load()) || (f && f());
    };
    Spedizione spedizione = [server, certificata, cadenza, fermato](const Invio& invio) -> EsitoSpedizione {
        // Made here, so the log can name the message even when its fate is uncertain.
        QString messageId;
        try {
            sz::mail::Message m = InviaMail(invio, certificata);
            m.messageId = messageId = sz::mail::newMessageId(m.from);
            if (cadenza && !cadenza->attendiTurno(fermato)) {
                EsitoSpedizione esito(QStringLiteral("invio annullato dall'utente prima della spedizione, in attesa "
                                                     "del turno consentito dal gestore della posta certificata"));
                esito.annullata = true;
                return esito;
            }
            struct Conta
            {
                Cadenza* c;
                ~Conta()
                {
                    if (c)
                        c->registra();
                }
            } conta{cadenza.get()};
            const sz::mail::SendResult r = sz::mail::send(server, m);
            EsitoSpedizione esito;
            esito.messageId = r.messageId;
            bool alCliente = false;
            for (const QString& a : m.to)
                alCliente = alCliente || std::none_of(r.refused.begin(), r.refused.end(),
                                                      [&](const sz::mail::Refusal& x) { return x.address == a; });
            QStringList ognuno;
            for (const sz::mail::Refusal& x : r.refused) {
                esito.rifiutati << Rifiuto{x.address, x.reply};
                ognuno << x.address + QStringLiteral(" (") + x.reply + QLatin1Char(')');
            }
            // The firm's own copy is not the letter: with every address of the client
            // refused, the client has not received it.
            if (!alCliente) {
                esito = EsitoSpedizione(QStringLiteral("il server ha rifiutato tutti gli indirizzi del Cliente: ") +
                                        ognuno.join(QStringLiteral("; ")));
                esito.messageId = r.messageId; // the firm's own copy went out with it
            }
            return esito;
        } catch (const sz::mail::MailError& e) {
            EsitoSpedizione esito(e.message());
            esito.incerta = e.uncertain();
            esito.annullata = e.cancelled();
            // A message the server may hold keeps its name: it is how a copy is found.
            if (esito.incerta)
                esito.messageId = messageId;
            return esito;
        } catch (const Error& e) {
            return e.message();
        }
    };
    if (certificata)
        spedizione.canale = QStringLiteral("PEC");
    return spedizione;
}

} // namespace sz::dunning
