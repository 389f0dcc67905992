#include "LineeGuida.h"

#include "scadenzio/FrameRegistry.h"

#include <QTextBrowser>
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
}

QString TFrameLineeGuida::guideHtml()
{
    return QStringLiteral(R"(
<style>
 h2 { color: #1f4e79; margin-top: 14px; }
 td.n { color: #ffffff; background: #1f4e79; font-weight: bold; text-align: center; width: 28px; }
 td { padding: 6px 10px; vertical-align: top; }
 span.cmd { color: #1f6fb2; font-weight: bold; }
</style>
<h2>1. Prima di iniziare</h2>
<table cellspacing="4">
<tr><td class="n">1</td><td><b>Dati dell'azienda</b> &mdash; da <span class="cmd">Anagrafiche &rsaquo; Utente</span> controllate ragione sociale, indirizzo, partita IVA, contatti e logo: compaiono in ogni lettera.</td></tr>
<tr><td class="n">2</td><td><b>Server di posta</b> &mdash; da <span class="cmd">Impostazioni &rsaquo; Email e connessione</span> indicate server SMTP, porta, utente, password e TLS, poi inviate un messaggio di prova.</td></tr>
<tr><td class="n">3</td><td><b>Banche</b> &mdash; da <span class="cmd">Anagrafiche &rsaquo; Banche</span> registrate le banche d'appoggio con il loro IBAN: il cliente le legge nelle lettere per pagare.</td></tr>
<tr><td class="n">4</td><td><b>Clienti</b> &mdash; da <span class="cmd">Anagrafiche &rsaquo; Clienti</span> inserite i clienti con almeno un indirizzo email, oppure importateli da <span class="cmd">Strumenti &rsaquo; Importazione dati</span>.</td></tr>
<tr><td class="n">5</td><td><b>Modalità di pagamento</b> &mdash; da <span class="cmd">Impostazioni &rsaquo; Parametri globali</span> decidete per ogni modalità dopo quanti giorni dalla scadenza partono preavviso e solleciti.</td></tr>
<tr><td class="n">6</td><td><b>Testi delle lettere</b> &mdash; da <span class="cmd">Impostazioni &rsaquo; Comunicazioni</span> adattate oggetto, introduzione e chiusura di ogni tipo di lettera.</td></tr>
</table>
<h2>2. Registrare i crediti</h2>
<p>Da <span class="cmd">Crediti &rsaquo; Registrazione</span> inserite fatture e rate (una riga per ogni scadenza), oppure importatele da <span class="cmd">Strumenti &rsaquo; Importazione dati</span>. Quando un cliente paga, indicate l'importo incassato: il residuo si aggiorna da solo.</p>
<h2>3. Una giornata di solleciti</h2>
<table cellspacing="4">
<tr><td class="n">1</td><td>Aprite <span class="cmd">Crediti &rsaquo; Solleciti</span>: l'elenco mostra i crediti che oggi hanno raggiunto un preavviso, un sollecito o lo stato di sofferenza.</td></tr>
<tr><td class="n">2</td><td>Selezionate le righe (o usate <b>Seleziona tutto</b> dal menu del tasto destro) per fattura o per cliente.</td></tr>
<tr><td class="n">3</td><td>Con <b>Invia</b> il programma crea la lettera in PDF nell'archivio del giorno, la spedisce via email con il PDF allegato e registra la data del sollecito; con <b>Crea PDF</b> crea solo le lettere.</td></tr>
<tr><td class="n">4</td><td>A fine invio leggete il riepilogo: gli eventuali problemi (un cliente senza email, un server che non risponde) sono elencati riga per riga.</td></tr>
<tr><td class="n">5</td><td>Da <span class="cmd">Report &rsaquo; Documenti emessi</span> ritrovate e stampate le lettere inviate; da <span class="cmd">Crediti &rsaquo; Statistiche</span> vedete quanto resta da incassare.</td></tr>
</table>
<p>Un sollecito registrato per errore si annulla da <span class="cmd">Crediti &rsaquo; Registrazione</span>, con <b>Annulla emissione</b> sulla data più recente.</p>
)");
}
