#include "LineeGuida.h"

#include "scadenzio/FrameRegistry.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

SZ_REGISTER_FRAME(TFrameLineeGuida);

TFrameLineeGuida::TFrameLineeGuida(QWidget* parent)
    : sz::ui::ModuleFrame(QStringLiteral("Linee Guida"),
                          QStringLiteral("I primi passi per usare Scadenzio: cosa impostare prima di tutto e come "
                                         "si svolge una giornata di solleciti."),
                          parent)
{
    setObjectName(QStringLiteral("FrameLineeGuida"));
    auto* lay = new QVBoxLayout(body());
    lay->setContentsMargins(18, 12, 18, 18);
    m_text = new QTextBrowser(body());
    m_text->setObjectName(QStringLiteral("TestoLineeGuida"));
    m_text->setOpenLinks(false);
    m_text->setHtml(guideHtml());
    lay->addWidget(m_text);
    // A menu path on the page is a link to its command: the main window runs it as if
    // chosen from the menu.
    connect(m_text, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        if (link.scheme() == QLatin1String("comando")) emit commandRequested(link.path());
    });
}

QString TFrameLineeGuida::guideHtml()
{
    return QStringLiteral(R"(
<style>
 h2 { color: #1f4e79; margin-top: 14px; }
 td.n { color: #ffffff; background: #1f4e79; font-weight: bold; text-align: center; width: 28px; }
 td { padding: 6px 10px; vertical-align: top; }
 a { color: #1f6fb2; font-weight: bold; }
</style>
<h2>1. Prima di iniziare</h2>
<table cellspacing="4">
<tr><td class="n">1</td><td><b>Dati dell'azienda</b> &mdash; da <a href="comando:Anagrafiche%20-%20Utente">Anagrafiche &rsaquo; Utente</a> controllate ragione sociale, indirizzo, partita IVA, contatti e logo: compaiono in ogni lettera.</td></tr>
<tr><td class="n">2</td><td><b>Server di posta</b> &mdash; da <a href="comando:Impostazioni%20-%20Email%20e%20Connessione">Impostazioni &rsaquo; Email e connessione</a> indicate server SMTP, porta, utente, password e TLS, poi inviate un messaggio di prova.</td></tr>
<tr><td class="n">3</td><td><b>Banche</b> &mdash; da <a href="comando:Anagrafiche%20-%20Banche">Anagrafiche &rsaquo; Banche</a> registrate le banche d'appoggio con il loro IBAN: il cliente le legge nelle lettere per pagare.</td></tr>
<tr><td class="n">4</td><td><b>Clienti</b> &mdash; da <a href="comando:Anagrafiche%20-%20Clienti">Anagrafiche &rsaquo; Clienti</a> inserite i clienti con almeno un indirizzo email, oppure importateli da <a href="comando:Strumenti%20-%20Importazione%20dati">Strumenti &rsaquo; Importazione dati</a>.</td></tr>
<tr><td class="n">5</td><td><b>Modalità di pagamento</b> &mdash; da <a href="comando:Impostazioni%20-%20Parametri%20globali">Impostazioni &rsaquo; Parametri globali</a> decidete per ogni modalità dopo quanti giorni dalla scadenza partono preavviso e solleciti.</td></tr>
<tr><td class="n">6</td><td><b>Testi delle lettere</b> &mdash; da <a href="comando:Impostazioni%20-%20Comunicazioni">Impostazioni &rsaquo; Comunicazioni</a> adattate oggetto, introduzione e chiusura di ogni tipo di lettera.</td></tr>
</table>
<h2>2. Registrare i crediti</h2>
<p>Da <a href="comando:Crediti%20-%20Registrazione">Crediti &rsaquo; Registrazione</a> inserite fatture e rate (una riga per ogni scadenza), oppure importatele da <a href="comando:Strumenti%20-%20Importazione%20dati">Strumenti &rsaquo; Importazione dati</a>. Quando un cliente paga, indicate l'importo incassato: il residuo si aggiorna da solo.</p>
<h2>3. Una giornata di solleciti</h2>
<table cellspacing="4">
<tr><td class="n">1</td><td>Aprite <a href="comando:Crediti%20-%20Solleciti">Crediti &rsaquo; Solleciti</a>: l'elenco mostra i crediti che oggi hanno raggiunto un preavviso, un sollecito o lo stato di sofferenza.</td></tr>
<tr><td class="n">2</td><td>Selezionate le righe (o usate <b>Seleziona tutto</b> dal menu del tasto destro) per fattura o per cliente.</td></tr>
<tr><td class="n">3</td><td>Con <b>Invia</b> il programma crea la lettera in PDF nell'archivio del giorno, la spedisce via email con il PDF allegato e registra la data del sollecito; con <b>Crea PDF</b> crea solo le lettere.</td></tr>
<tr><td class="n">4</td><td>A fine invio leggete il riepilogo: gli eventuali problemi (un cliente senza email, un server che non risponde) sono elencati riga per riga.</td></tr>
<tr><td class="n">5</td><td>Da <a href="comando:Report%20-%20Documenti%20emessi">Report &rsaquo; Documenti emessi</a> ritrovate e stampate le lettere inviate; da <a href="comando:Crediti%20-%20Statistiche">Crediti &rsaquo; Statistiche</a> vedete quanto resta da incassare.</td></tr>
</table>
<p>Un sollecito registrato per errore si annulla da <a href="comando:Crediti%20-%20Registrazione">Crediti &rsaquo; Registrazione</a>, con <b>Annulla emissione</b> sulla data più recente.</p>
)");
}
