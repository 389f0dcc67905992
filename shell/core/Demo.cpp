#include "Demo.h"

#include "scadenzio/Database.h"
#include "scadenzio/Dates.h"
#include "scadenzio/Dialect.h"
#include "scadenzio/Error.h"
#include "scadenzio/Fasi.h"
#include "scadenzio/Invii.h"
#include "scadenzio/Money.h"

#include <QDateTime>
#include <QMap>
#include <QStringList>
#include <QVector>

#include <algorithm>
#include <array>
#include <cstdint>

namespace sz::demo {

const QString RifiutoCrediti =
    QStringLiteral("ATTENZIONE: il database contiene già dei crediti: i dati dimostrativi si caricano solo in un "
                   "database vuoto.");
const QString RifiutoDati =
    QStringLiteral("ATTENZIONE: il database contiene già dei clienti o l'anagrafica utente: i dati dimostrativi si "
                   "caricano solo in un database vuoto.");
const QString RifiutoInCorso =
    QStringLiteral("ATTENZIONE: un'altra postazione sta caricando i dati dimostrativi in questo database.");

bool rifiuto(const QString& message)
{
    return message == RifiutoCrediti || message == RifiutoDati || message == RifiutoInCorso;
}

namespace {

constexpr int NumeroCrediti = 300;

// SplitMix64 with our own ranges: the standard library's distributions differ between
// implementations, and the same day must give the same firm everywhere.
class Caso
{
public:
    explicit Caso(std::uint64_t seme) : m_stato(seme) {}
    std::uint64_t prossimo()
    {
        std::uint64_t z = (m_stato += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // a to b, both included
    int tra(int a, int b) { return a + int(prossimo() % std::uint64_t(b - a + 1)); }
    bool percento(int p) { return tra(0, 99) < p; }

private:
    std::uint64_t m_stato;
};

// ---- codes with their check characters ------------------------------------------------

// An Italian VAT number from its first ten digits (a company's tax code is the same number).
QString partitaIva(const QString& dieci)
{
    int somma = 0;
    for (int i = 0; i < 10; ++i) {
        int c = dieci.at(i).digitValue();
        if (i % 2 == 1) {
            c *= 2;
            if (c > 9)
                c -= 9;
        }
        somma += c;
    }
    return dieci + QString::number((10 - somma % 10) % 10);
}

// The check letter of a personal tax code, and the CIN of an Italian bank account: the
// same weights, odd positions (from one) by the table, even ones by their own value.
QChar letteraDiControllo(const QString& testo)
{
    static const int dispari[26] = {1, 0, 5, 7, 9, 13, 15, 17, 19, 21, 2, 4, 18,
                                    20, 11, 3, 6, 8, 12, 14, 16, 10, 22, 25, 24, 23};
    int somma = 0;
    for (int i = 0; i < testo.size(); ++i) {
        const QChar c = testo.at(i);
        const int v = c.isDigit() ? c.digitValue() : c.unicode() - 'A';
        somma += i % 2 == 0 ? dispari[v] : v;
    }
    return QChar(u'A' + somma % 26);
}

QString tre(const QString& parte, bool nome)
{
    QString consonanti, vocali;
    for (const QChar c : parte) {
        if (!c.isLetter())
            continue;
        (QStringLiteral("AEIOU").contains(c) ? vocali : consonanti) += c;
    }
    if (nome && consonanti.size() >= 4)
        return QString(consonanti.at(0)) + consonanti.at(2) + consonanti.at(3);
    return (consonanti + vocali + QStringLiteral("XXX")).left(3);
}

QString codiceFiscale(const QString& cognome, const QString& nome, const QDate& nascita, bool donna,
                      const QString& comune)
{
    static const char mesi[] = "ABCDEHLMPRST";
    const QString cf = tre(cognome, false) + tre(nome, true) +
                       QStringLiteral("%1").arg(nascita.year() % 100, 2, 10, QLatin1Char('0')) +
                       QLatin1Char(mesi[nascita.month() - 1]) +
                       QStringLiteral("%1").arg(nascita.day() + (donna ? 40 : 0), 2, 10, QLatin1Char('0')) + comune;
    return cf + letteraDiControllo(cf);
}

QString iban(const QString& abi, const QString& cab, const QString& conto)
{
    const QString bban = QString(letteraDiControllo(abi + cab + conto)) + abi + cab + conto;
    int resto = 0;
    for (const QChar c : bban + QStringLiteral("IT00")) {
        const QString cifre = c.isDigit() ? QString(c) : QString::number(c.unicode() - 'A' + 10);
        for (const QChar d : cifre)
            resto = (resto * 10 + d.digitValue()) % 97;
    }
    return QStringLiteral("IT%1").arg(98 - resto, 2, 10, QLatin1Char('0')) + bban;
}

// ---- the firm and its clients -----------------------------------------------------------

struct Citta
{
    const char* nome;
    const char* cap;
    const char* provincia;
    const char* comune; // cadastral code, for personal tax codes
    const char* prefisso;
};

const Citta citta[] = {
    {"MILANO", "20135", "MI", "F205", "02"},    {"ROMA", "00185", "RM", "H501", "06"},
    {"TORINO", "10128", "TO", "L219", "011"},   {"NAPOLI", "80133", "NA", "F839", "081"},
    {"BOLOGNA", "40133", "BO", "A944", "051"},  {"FIRENZE", "50127", "FI", "D612", "055"},
    {"VERONA", "37135", "VR", "L781", "045"},   {"PADOVA", "35127", "PD", "G224", "049"},
    {"BARI", "70123", "BA", "A662", "080"},     {"PALERMO", "90141", "PA", "G273", "091"},
    {"GENOVA", "16149", "GE", "D969", "010"},   {"BRESCIA", "25124", "BS", "B157", "030"},
    {"BERGAMO", "24126", "BG", "A794", "035"},  {"PARMA", "43122", "PR", "G337", "0521"},
    {"MODENA", "41122", "MO", "F257", "059"},   {"TRENTO", "38121", "TN", "L378", "0461"},
    {"PERUGIA", "06128", "PG", "G478", "075"},  {"ANCONA", "60131", "AN", "A271", "071"},
    {"PESCARA", "65129", "PE", "G482", "085"},  {"CAGLIARI", "09122", "CA", "B354", "070"},
    {"TREVISO", "31100", "TV", "L407", "0422"}, {"VICENZA", "36100", "VI", "L840", "0444"},
    {"LECCE", "73100", "LE", "E506", "0832"},   {"UDINE", "33100", "UD", "L483", "0432"},
    {"BOLZANO", "39100", "BZ", "A952", "0471"},
};

enum Modalita { Bonifico, Riba, RimessaDiretta };
const char* const nomiModalita[] = {"BONIFICO", "RI.BA.", "R.D."};

struct Anagrafica
{
    const char* nome;     // company name, or surname and name of a person
    int citta;
    const char* via;
    const char* dominio;  // mail under <dominio>.example; empty: no mail address
    const char* tipo;     // "IMPRESA", "PA", "CONSUMATORE"
    Modalita modalita;
    const char* referente;
    // a person: name, surname, birth, female
    const char* nomeProprio = nullptr;
    const char* cognome = nullptr;
    int anno = 0, mese = 0, giorno = 0;
    bool donna = false;
};

const Anagrafica anagrafiche[] = {
    {"EDILIZIA ROSSI SRL", 0, "VIALE MONZA", "edilizia-rossi", "IMPRESA", Riba, "MARCO ROSSI"},
    {"BIANCHI MARMI SNC", 6, "VIA DELL'INDUSTRIA", "bianchi-marmi", "IMPRESA", Riba, "LUCA BIANCHI"},
    {"FERRARI IMPIANTI ELETTRICI SRL", 14, "VIA EMILIA EST", "ferrari-impianti", "IMPRESA", Bonifico,
     "GIORGIO FERRARI"},
    {"ESPOSITO TRASPORTI SRL", 3, "VIA ARGINE", "esposito-trasporti", "IMPRESA", Bonifico, "CIRO ESPOSITO"},
    {"RICCI ARREDAMENTI SAS", 20, "VIALE DELLA REPUBBLICA", "ricci-arredamenti", "IMPRESA", Riba,
     "PAOLA RICCI"},
    {"COLOMBO AUTOMAZIONI SPA", 12, "VIA GRUMELLO", "colombo-automazioni", "IMPRESA", Bonifico,
     "UFFICIO ACQUISTI"},
    {"ROMANO ALIMENTARI SRL", 8, "VIA CAMILLO ROSALBA", "romano-alimentari", "IMPRESA", RimessaDiretta,
     "NICOLA ROMANO"},
    {"GRECO SERVIZI INFORMATICI SRL", 1, "VIA TIBURTINA", "greco-informatica", "IMPRESA", Bonifico,
     "SARA GRECO"},
    {"BRUNO FERRAMENTA SNC", 2, "CORSO UNIONE SOVIETICA", "", "IMPRESA", RimessaDiretta, "ALDO BRUNO"},
    {"GALLO COSTRUZIONI SRL", 7, "VIA VENEZIA", "gallo-costruzioni", "IMPRESA", Riba, "STEFANO GALLO"},
    {"CONTI TESSUTI SRL", 5, "VIA DI NOVOLI", "conti-tessuti", "IMPRESA", Bonifico, "ELENA CONTI"},
    {"DE LUCA OTTICA SRL", 9, "VIA DELLA LIBERTÀ", "deluca-ottica", "IMPRESA", Riba, "FABIO DE LUCA"},
    {"MANCINI IDRAULICA SNC", 16, "VIA SETTEVALLI", "mancini-idraulica", "IMPRESA", RimessaDiretta,
     "ROBERTO MANCINI"},
    {"COSTA VERNICI SRL", 10, "VIA PIONIERI E AVIATORI D'ITALIA", "costa-vernici", "IMPRESA", Riba,
     "ANDREA COSTA"},
    {"GIORDANO CARTOLERIA SAS", 19, "VIA SONNINO", "giordano-cartoleria", "IMPRESA", Bonifico,
     "MARTA GIORDANO"},
    {"RIZZO MECCANICA SRL", 11, "VIA CEFALONIA", "rizzo-meccanica", "IMPRESA", Riba, "DAVIDE RIZZO"},
    {"LOMBARDI HOTEL SRL", 24, "VIA DEL MACELLO", "hotel-lombardi", "IMPRESA", Bonifico, "KARIN LOMBARDI"},
    {"MORETTI VINI SOCIETÀ AGRICOLA SRL", 21, "STRADA DI CASALE", "moretti-vini", "IMPRESA", Riba,
     "PIETRO MORETTI"},
    {"FARMACIA BARBIERI SNC", 4, "VIA MASSARENTI", "farmacia-barbieri", "IMPRESA", Bonifico,
     "DOTT.SSA ANNA BARBIERI"},
    {"FONTANA LOGISTICA SRL", 13, "VIA SILVIO PELLICO", "fontana-logistica", "IMPRESA", Riba,
     "MATTEO FONTANA"},
    {"CARUSO ELETTRONICA SRL", 22, "VIA LUPIAE", "caruso-elettronica", "IMPRESA", Bonifico, "LUIGI CARUSO"},
    {"ISTITUTO COMPRENSIVO G. MAZZINI", 18, "VIA DEL SANTUARIO", "ic-mazzini", "PA", Bonifico,
     "SEGRETERIA AMMINISTRATIVA"},
    {"MARINO GIULIA", 17, "VIA BRECCE BIANCHE", "", "CONSUMATORE", Bonifico, "", "GIULIA", "MARINO", 1979, 4, 12,
     true},
    {"SANTORO ANDREA", 23, "VIALE VENEZIA", "", "CONSUMATORE", RimessaDiretta, "", "ANDREA", "SANTORO", 1986, 9, 3,
     false},
    {"RINALDI FRANCESCA", 15, "VIA GRAZIOLI", "", "CONSUMATORE", Bonifico, "", "FRANCESCA", "RINALDI", 1972, 1,
     27, true},
};
constexpr int NumeroClienti = int(std::size(anagrafiche));
// The client whose letters stop for a repayment plan, and the client of the credit under dispute.
constexpr int ClienteSospeso = 4;
constexpr int ClienteContestazione = 9;

struct Banca
{
    const char* nome;
    const char* agenzia;
    const char* abi;
    const char* cab;
    const char* conto;
};

// Made-up banks with made-up bank and branch codes; only the check characters are real.
const Banca banche[] = {
    {"BANCA POPOLARE DEMO", "FILIALE DI BOLOGNA CENTRO", "09901", "02400", "000000123456"},
    {"CASSA DI RISPARMIO DEMO", "AGENZIA 3 BOLOGNA", "09902", "02403", "000000789012"},
    {"CREDITO COOPERATIVO DEMO", "SEDE DI CASALECCHIO", "09903", "36670", "00000CC45210"},
};

const char* const note[] = {"", "", "", "", "ORDINE DEL CLIENTE N. %1", "DDT N. %1", "CONSEGNA IN CANTIERE",
                            "", "FORNITURA PROGRAMMATA", ""};

// ---- credits ---------------------------------------------------------------------------

struct Lettera
{
    int fase; // 0..3 stage columns, 4 a bad-debt letter (log only)
    QDate giorno;
};

struct Rata
{
    QDate scadenza;
    qint64 centesimi = 0;
    qint64 incassati = 0;
    QString dataIncasso;
    QList<Lettera> lettere;
    bool sospeso = false;
    QString motivo;
};

struct Documento
{
    int cliente = 0;
    QDate data;
    Modalita modalita = Bonifico;
    int banca = 0;
    QString note;
    QVector<Rata> rate;
};

QDate lavorativo(QDate d)
{
    if (d.dayOfWeek() == 6)
        return d.addDays(2);
    if (d.dayOfWeek() == 7)
        return d.addDays(1);
    return d;
}

QString importoTesto(qint64 cent)
{
    return Money::fromCents(cent).toPlain();
}

class Generatore
{
public:
    Generatore(const QDate& oggi, const std::array<std::array<int, 4>, 3>& soglie)
        : m_oggi(oggi), m_soglie(soglie), m_caso(0x5CADE2Full)
    {
        // Documents from a week inside the 18 months: every date of the demo stays in them.
        m_inizio = oggi.addMonths(-18).addDays(7);
        m_sospensione = lavorativo(oggi.addDays(-20));
    }

    QVector<Documento> genera()
    {
        forzati();
        int rate = 0;
        for (const auto& d : m_documenti)
            rate += d.rate.size();
        const int giorni = int(m_inizio.daysTo(m_oggi.addDays(-2)));
        while (rate < NumeroCrediti) {
            Documento d = nuovoDocumento(cliente(), m_inizio.addDays(m_caso.tra(0, giorni)));
            const int r = m_caso.tra(0, 99);
            const int n = std::min(r < 65 ? 1 : r < 90 ? 2 : 3, NumeroCrediti - rate);
            const qint64 totale = importo();
            for (int i = 1; i <= n; ++i) {
                Rata rata;
                rata.scadenza = scadenza(d, i);
                rata.centesimi = i < n ? totale / n : totale - (totale / n) * (n - 1);
                storia(d, rata);
                d.rate << rata;
            }
            rate += n;
            m_documenti << d;
        }
        std::stable_sort(m_documenti.begin(), m_documenti.end(),
                         [](const Documento& a, const Documento& b) { return a.data < b.data; });
        return m_documenti;
    }

    QString motivoCliente() const
    {
        return QStringLiteral("piano di rientro concordato il ") + dates::toDisplay(m_sospensione);
    }

private:
    int cliente()
    {
        // The consumers and the school buy less often than the firms.
        for (;;) {
            const int c = m_caso.tra(0, NumeroClienti - 1);
            if (QLatin1String(anagrafiche[c].tipo) == QLatin1String("IMPRESA") || m_caso.percento(30))
                return c;
        }
    }

    qint64 importo()
    {
        // Mostly a few hundred euro, now and then several thousand.
        const int r = m_caso.tra(0, 1000);
        return qint64(15000) + qint64(r) * r * 9 / 10 + m_caso.tra(0, 99);
    }

    Documento nuovoDocumento(int c, const QDate& data)
    {
        Documento d;
        d.cliente = c;
        d.data = lavorativo(data);
        if (d.data >= m_oggi)
            d.data = m_oggi.addDays(-3);
        d.modalita = anagrafiche[c].modalita;
        d.banca = d.modalita == Riba ? (c % 2) : m_caso.tra(0, 2);
        const char* n = note[m_caso.tra(0, int(std::size(note)) - 1)];
        d.note = QString::fromUtf8(n);
        if (d.note.contains(QLatin1String("%1")))
            d.note = d.note.arg(m_caso.tra(100, 4999));
        return d;
    }

    QDate scadenza(const Documento& d, int rata) const
    {
        const QDate s = d.data.addDays(30 * rata);
        // Bank receipts fall due at the end of the month.
        return d.modalita == Riba ? QDate(s.year(), s.month(), s.daysInMonth()) : s;
    }

    // The letters a daily run makes for the instalment until the day before fine: each stage
    // on the first working day its threshold allows (a day or two later now and then), and
    // once all four are made, a bad-debt letter every month or so.
    void lettere(const Documento& d, Rata& r, const QDate& fine)
    {
        const auto& s = m_soglie[d.modalita];
        QDate prima;
        for (int f = 0; f < 4; ++f) {
            QDate g = lavorativo(r.scadenza.addDays(s[f] + (m_caso.percento(70) ? 0 : m_caso.tra(1, 2))));
            if (prima.isValid() && g <= prima)
                g = lavorativo(prima.addDays(1));
            if (g >= fine || g >= m_oggi)
                return;
            r.lettere << Lettera{f, g};
            prima = g;
        }
        QDate g = lavorativo(prima.addDays(m_caso.tra(20, 35)));
        for (int n = 0; n < 3 && g < fine && g < m_oggi; ++n) {
            r.lettere << Lettera{4, g};
            g = lavorativo(g.addDays(m_caso.tra(28, 40)));
        }
    }

    // Exactly the first `quante` stages, each on its threshold's day (or the next working
    // day, when that is still before today).
    void lettereFino(const Documento& d, Rata& r, int quante)
    {
        const auto& s = m_soglie[d.modalita];
        QDate prima;
        for (int f = 0; f < quante; ++f) {
            QDate g = r.scadenza.addDays(s[f]);
            if (lavorativo(g) < m_oggi)
                g = lavorativo(g);
            if (prima.isValid() && g <= prima)
                g = prima.addDays(1);
            r.lettere << Lettera{f, g};
            prima = g;
        }
    }

    void paga(Rata& r, const QDate& giorno)
    {
        r.incassati = r.centesimi;
        r.dataIncasso = dates::toDisplay(giorno) + QStringLiteral(" (") + importoTesto(r.centesimi) +
                        QStringLiteral(" €)");
    }

    void acconto(Rata& r, const QDate& giorno)
    {
        r.incassati = r.centesimi * m_caso.tra(25, 65) / 100;
        r.dataIncasso = dates::toDisplay(giorno) + QStringLiteral(" (") + importoTesto(r.incassati) +
                        QStringLiteral(" €)");
    }

    // What became of an instalment of the bulk: paid on time or late, in part, or not at all.
    void storia(const Documento& d, Rata& r)
    {
        QDate fine = m_oggi;
        if (d.cliente == ClienteSospeso)
            fine = m_sospensione;
        if (r.scadenza >= m_oggi) {
            lettere(d, r, fine);
            return;
        }
        const int x = m_caso.tra(0, 99);
        int ritardo;
        if (x < 64)
            ritardo = m_caso.tra(-4, 0);
        else if (x < 84)
            ritardo = m_caso.tra(1, 14);
        else if (x < 94)
            ritardo = m_caso.tra(15, 45);
        else if (x < 98)
            ritardo = m_caso.tra(46, 90);
        else if (x < 99) {
            const QDate giorno = lavorativo(r.scadenza.addDays(m_caso.tra(0, 30)));
            if (giorno < m_oggi)
                acconto(r, giorno);
            lettere(d, r, fine);
            return;
        } else {
            lettere(d, r, fine);
            return;
        }
        const QDate giorno = lavorativo(r.scadenza.addDays(ritardo));
        if (giorno < m_oggi) {
            paga(r, giorno);
            fine = std::min(fine, giorno);
        }
        lettere(d, r, fine);
    }

    // A client to show a stage with: never the suspended one, always one with a mail address
    // when asked (the letter then goes out by mail).
    int clienteAttivo(bool conMail)
    {
        for (;;) {
            const int c = m_caso.tra(0, NumeroClienti - 1);
            if (c == ClienteSospeso || c == ClienteContestazione)
                continue;
            if (conMail && !*anagrafiche[c].dominio)
                continue;
            return c;
        }
    }

    // A single-instalment document of client c due `giorniFa` days ago (negative: ahead).
    Documento& forzato(int c, int giorniFa)
    {
        const QDate s = m_oggi.addDays(-giorniFa);
        Documento d = nuovoDocumento(c, s.addDays(-(giorniFa > 200 ? 30 : 30 * m_caso.tra(1, 2))));
        Rata r;
        r.scadenza = s;
        r.centesimi = importo();
        d.rate << r;
        m_documenti << d;
        return m_documenti.last();
    }

    // The credits that make every stage show on the first day: some due for each letter
    // today, some that had a letter and wait for the next, a few bad debts, the suspended
    // client's repayment plan and a disputed credit.
    void forzati()
    {
        for (int stadio = 0; stadio < 4; ++stadio) {
            // Due today for the letter of this stage.
            for (int n = 0; n < 4; ++n) {
                const int c = clienteAttivo(n < 3);
                const auto& s = m_soglie[anagrafiche[c].modalita];
                const int giorniFa = stadio == 0 && s[0] < 0 ? m_caso.tra(s[0], 0) : s[stadio] + m_caso.tra(0, 5);
                Documento& d = forzato(c, giorniFa);
                Rata& r = d.rate.last();
                lettereFino(d, r, stadio);
                if (n == 3 && stadio > 0) {
                    // One of them paid in part after its latest letter.
                    const QDate giorno = lavorativo(r.lettere.last().giorno.addDays(2));
                    acconto(r, giorno < m_oggi ? giorno : r.lettere.last().giorno);
                }
            }
            // Its letter made, waiting for the next threshold (after the third reminder the
            // credit is a bad debt, below).
            for (int n = 0; stadio < 3 && n < 3; ++n) {
                const int c = clienteAttivo(n < 2);
                const auto& s = m_soglie[anagrafiche[c].modalita];
                const int da = s[stadio] + 1, a = std::max(da, s[stadio + 1] - 1);
                Documento& d = forzato(c, m_caso.tra(da, a));
                lettereFino(d, d.rate.last(), stadio + 1);
            }
        }
        // Bad debts: every reminder made, and a bad-debt letter or two since.
        for (int n = 0; n < 3; ++n) {
            const int c = clienteAttivo(true);
            Documento& d = forzato(c, m_caso.tra(60, 250));
            Rata& r = d.rate.last();
            lettere(d, r, m_oggi);
            if (n == 0)
                acconto(r, lavorativo(r.scadenza.addDays(40)));
        }
        // The repayment plan: partly paid, letters until the plan was agreed, payments since.
        for (int n = 0; n < 3; ++n) {
            Documento& d = forzato(ClienteSospeso, m_caso.tra(45, 110));
            Rata& r = d.rate.last();
            lettere(d, r, m_sospensione);
            const qint64 primo = r.centesimi * m_caso.tra(20, 35) / 100;
            const qint64 secondo = r.centesimi * m_caso.tra(10, 20) / 100;
            const QDate g1 = lavorativo(m_sospensione.addDays(1));
            const QDate g2 = lavorativo(m_sospensione.addDays(15));
            r.incassati = primo;
            r.dataIncasso = dates::toDisplay(g1) + QStringLiteral(" (") + importoTesto(primo) + QStringLiteral(" €)");
            if (g2 < m_oggi) {
                r.incassati += secondo;
                r.dataIncasso += QStringLiteral(" | ") + dates::toDisplay(g2) + QStringLiteral(" (") +
                                 Money::fromCents(secondo).toDisplay() + QLatin1Char(')');
            }
            d.note = QStringLiteral("PIANO DI RIENTRO");
        }
        // A disputed delivery: its own letters stop while the firm looks into it.
        {
            Documento& d = forzato(ClienteContestazione, m_caso.tra(25, 40));
            Rata& r = d.rate.last();
            lettere(d, r, m_oggi.addDays(-12));
            r.sospeso = true;
            r.motivo = QStringLiteral("contestazione sulla merce consegnata, in verifica");
        }
    }

    QDate m_oggi, m_inizio, m_sospensione;
    std::array<std::array<int, 4>, 3> m_soglie;
    Caso m_caso;
    QVector<Documento> m_documenti;
};

QString mail1(const Anagrafica& a)
{
    if (*a.dominio)
        return QStringLiteral("amministrazione@") + QString::fromUtf8(a.dominio) + QStringLiteral(".example");
    if (a.nomeProprio)
        return QString::fromUtf8(a.nomeProprio).toLower() + QLatin1Char('.') +
               QString::fromUtf8(a.cognome).toLower() + QStringLiteral("@example.com");
    return {};
}

QString telefono(Caso& caso, const Citta& c)
{
    const QString prefisso = QString::fromUtf8(c.prefisso);
    const int cifre = 10 - int(prefisso.size());
    const qint64 numero = qint64(caso.tra(2, 9)) * 1000000 + caso.tra(0, 999999);
    return prefisso + QLatin1Char(' ') + QString::number(numero).left(cifre);
}

std::array<std::array<int, 4>, 3> soglie(db::Connection& conn)
{
    std::array<std::array<int, 4>, 3> out{};
    for (int m = 0; m < 3; ++m) {
        const QString nome = QString::fromUtf8(nomiModalita[m]);
        const auto r = conn.query(QStringLiteral("SELECT Preavviso, Sollecito1, Sollecito2, Sollecito3 FROM "
                                                 "t_parametri WHERE Modalita = :Modalita ORDER BY ID"),
                                  {{QStringLiteral("Modalita"), nome}});
        if (r.isEmpty())
            throw Error(QStringLiteral("ATTENZIONE: manca la modalità di pagamento %1 in Impostazioni - Parametri "
                                       "globali: i dati dimostrativi non sono stati caricati.")
                            .arg(nome));
        for (int f = 0; f < 4; ++f)
            out[size_t(m)][size_t(f)] = r.rows[0][f].toInt();
    }
    return out;
}

} // namespace

QString testoRiepilogo(const Riepilogo& r)
{
    return QStringLiteral("Dati dimostrativi creati: %1 clienti, %2 crediti.").arg(r.clienti).arg(r.crediti);
}

Riepilogo crea(db::Connection& conn, const QDate& oggi)
{
    // Two workstations on one server would each find the register empty in their own
    // transaction and both fill it: the second waits for no one and is refused; once the
    // first has committed, its credits refuse any later one.
    const QString blocco = QStringLiteral("dati dimostrativi");
    const db::Dialect& dialect = conn.dialect();
    if (dialect.tryNamedLock(conn, blocco) == db::Dialect::LockResult::Busy)
        throw Error(RifiutoInCorso);
    struct Rilascio
    {
        db::Connection& conn;
        const QString& nome;
        ~Rilascio() { conn.dialect().releaseNamedLock(conn, nome); }
    } rilascio{conn, blocco};
    db::Transaction tx(conn);
    if (!conn.query(QStringLiteral("SELECT ID FROM t_crediti LIMIT 1")).isEmpty())
        throw Error(RifiutoCrediti);
    if (!conn.query(QStringLiteral("SELECT ID FROM t_clienti LIMIT 1")).isEmpty() ||
        !conn.query(QStringLiteral("SELECT ID FROM t_societa WHERE RagioneSociale IS NOT NULL AND "
                                   "TRIM(RagioneSociale) <> ''"))
             .isEmpty())
        throw Error(RifiutoDati);

    Generatore generatore(oggi, soglie(conn));
    const QVector<Documento> documenti = generatore.genera();
    Caso caso(0xA7A6E2ull);

    // The company: a profile the first-run setup would accept, in the register's capitals.
    const db::Params societa{
        {QStringLiteral("RagioneSociale"), QStringLiteral("DEMO FORNITURE SRL")},
        {QStringLiteral("Indirizzo"), QStringLiteral("VIA EMILIA PONENTE 112")},
        {QStringLiteral("Localita"), QStringLiteral("BOLOGNA")},
        {QStringLiteral("CAP"), QStringLiteral("40133")},
        {QStringLiteral("Provincia"), QStringLiteral("BO")},
        {QStringLiteral("Riferimento"), QStringLiteral("ELENA MARCHETTI")},
        {QStringLiteral("IVA"), partitaIva(QStringLiteral("0398715037"))},
        {QStringLiteral("CF"), partitaIva(QStringLiteral("0398715037"))},
        {QStringLiteral("Telefono"), QStringLiteral("051 6401123")},
        {QStringLiteral("Cell"), QStringLiteral("347 5520190")},
        {QStringLiteral("Fax"), QStringLiteral("051 6401124")},
        {QStringLiteral("Mail"), QStringLiteral("amministrazione@demo-forniture.example")},
        {QStringLiteral("Logo"), false},
        {QStringLiteral("InteressiMora"), false},
        {QStringLiteral("Indennizzo40"), false},
        {QStringLiteral("GiorniTermine"), 15},
    };
    QStringList colonne;
    for (const auto& p : societa)
        colonne << p.first;
    // A row left empty by an interrupted setup is filled rather than joined by a second one.
    const QVariant vuota = conn.scalar(QStringLiteral("SELECT MIN(ID) FROM t_societa"));
    if (vuota.isNull()) {
        conn.exec(QStringLiteral("INSERT INTO t_societa (%1) VALUES (:%2)")
                      .arg(colonne.join(QStringLiteral(", ")), colonne.join(QStringLiteral(", :"))),
                  societa);
    } else {
        QStringList set;
        for (const QString& c : colonne)
            set << c + QStringLiteral(" = :") + c;
        db::Params p = societa;
        p << qMakePair(QStringLiteral("ID"), vuota);
        conn.exec(QStringLiteral("UPDATE t_societa SET %1 WHERE ID = :ID").arg(set.join(QStringLiteral(", "))), p);
    }

    for (const Banca& b : banche) {
        const QString nome = QString::fromUtf8(b.nome);
        if (!conn.query(QStringLiteral("SELECT ID FROM t_banche WHERE Nome = :Nome"), {{QStringLiteral("Nome"), nome}})
                 .isEmpty())
            continue;
        conn.exec(QStringLiteral("INSERT INTO t_banche (Nome, Agenzia, IBAN) VALUES (:Nome, :Agenzia, :IBAN)"),
                  {{QStringLiteral("Nome"), nome},
                   {QStringLiteral("Agenzia"), QString::fromUtf8(b.agenzia)},
                   {QStringLiteral("IBAN"), iban(QString::fromLatin1(b.abi), QString::fromLatin1(b.cab),
                                                 QString::fromLatin1(b.conto))}});
    }

    db::Statement cliente(conn, QStringLiteral(
        "INSERT INTO t_clienti (RagioneSociale, Indirizzo, Localita, CAP, Provincia, Riferimento, IVA, CF, "
        "Telefono, Cell, Fax, Mail1, Mail2, Mail3, SospendiSolleciti, SospesoFino, MotivoSospensione, TipoCliente) "
        "VALUES (:RagioneSociale, :Indirizzo, :Localita, :CAP, :Provincia, :Riferimento, :IVA, :CF, :Telefono, "
        ":Cell, :Fax, :Mail1, :Mail2, :Mail3, :SospendiSolleciti, :SospesoFino, :MotivoSospensione, "
        ":TipoCliente)"));
    QStringList destinatari;
    for (int i = 0; i < NumeroClienti; ++i) {
        const Anagrafica& a = anagrafiche[i];
        const Citta& c = citta[a.citta];
        const bool persona = a.nomeProprio != nullptr;
        QString iva, cf;
        if (persona) {
            cf = codiceFiscale(QString::fromUtf8(a.cognome), QString::fromUtf8(a.nomeProprio),
                               QDate(a.anno, a.mese, a.giorno), a.donna, QString::fromLatin1(c.comune));
        } else {
            // Ten digits: a progressive number and the office code of the province.
            iva = partitaIva(QStringLiteral("%1%2").arg(caso.tra(1000000, 4999999)).arg(caso.tra(1, 99), 3, 10,
                                                                                              QLatin1Char('0')));
            cf = QLatin1String(a.tipo) == QLatin1String("PA")
                     ? partitaIva(QStringLiteral("9%1").arg(caso.tra(100000000, 999999999)))
                     : iva;
        }
        const QString m1 = mail1(a);
        const QString m2 = (*a.dominio && i % 3 == 0)
                               ? QStringLiteral("contabilita@") + QString::fromUtf8(a.dominio) + QStringLiteral(".example")
                               : QString();
        destinatari << (m2.isEmpty() ? m1 : m1 + QStringLiteral(", ") + m2);
        const bool sospeso = i == ClienteSospeso;
        cliente.run({{QStringLiteral("RagioneSociale"), QString::fromUtf8(a.nome)},
                     {QStringLiteral("Indirizzo"), QString::fromUtf8(a.via) + QLatin1Char(' ') +
                                                       QString::number(caso.tra(1, 180))},
                     {QStringLiteral("Localita"), QString::fromUtf8(c.nome)},
                     {QStringLiteral("CAP"), QString::fromLatin1(c.cap)},
                     {QStringLiteral("Provincia"), QString::fromLatin1(c.provincia)},
                     {QStringLiteral("Riferimento"), QString::fromUtf8(a.referente)},
                     {QStringLiteral("IVA"), iva},
                     {QStringLiteral("CF"), cf},
                     {QStringLiteral("Telefono"), telefono(caso, c)},
                     {QStringLiteral("Cell"), persona || i % 2 == 0
                                                  ? QStringLiteral("3%1 %2").arg(caso.tra(20, 49)).arg(caso.tra(1000000, 9999999))
                                                  : QString()},
                     {QStringLiteral("Fax"), QString()},
                     {QStringLiteral("Mail1"), m1},
                     {QStringLiteral("Mail2"), m2},
                     {QStringLiteral("Mail3"), QString()},
                     {QStringLiteral("SospendiSolleciti"), sospeso},
                     {QStringLiteral("SospesoFino"), sospeso ? QVariant(oggi.addDays(70)) : QVariant()},
                     {QStringLiteral("MotivoSospensione"), sospeso ? generatore.motivoCliente() : QString()},
                     {QStringLiteral("TipoCliente"), QString::fromLatin1(a.tipo)}});
    }

    db::Statement credito(conn, QStringLiteral(
        "INSERT INTO t_crediti (NumeroFattura, DataFattura, Scadenza, Importo, Incassato, Residuo, DataIncasso, "
        "Note, Pagato, ModalitaPagamento, Banca, Preavviso, Sollecito1, Sollecito2, Sollecito3, "
        "DestinatarioFattura, Cliente, Stato, ImportoTotale, SospendiSolleciti, SospesoFino, MotivoSospensione) "
        "VALUES (:NumeroFattura, :DataFattura, :Scadenza, :Importo, :Incassato, :Residuo, :DataIncasso, :Note, "
        ":Pagato, :ModalitaPagamento, :Banca, :Preavviso, :Sollecito1, :Sollecito2, :Sollecito3, "
        ":DestinatarioFattura, :Cliente, :Stato, :ImportoTotale, :SospendiSolleciti, :SospesoFino, "
        ":MotivoSospensione)"));
    const QString postazione = QStringLiteral("AMMINISTRAZIONE (demo)");
    // The clerk's morning runs from the window, one per day and channel: "Invia" for the
    // clients with a mail address, "Crea PDF" for the others.
    struct Giro
    {
        QDateTime inizio, fine;
        int create = 0, inviate = 0, nonInviate = 0;
        QStringList errori;
    };
    QMap<QPair<QDate, QString>, Giro> giri;
    const QString casellaPiena = QStringLiteral("casella del destinatario piena (452 4.2.2)");
    Riepilogo out;
    out.clienti = NumeroClienti;
    int numero = 0, anno = 0;
    for (const Documento& d : documenti) {
        if (d.data.year() != anno) {
            anno = d.data.year();
            numero = 0;
        }
        const QString numeroFattura = QStringLiteral("%1/%2").arg(++numero).arg(anno);
        const QString nomeCliente = QString::fromUtf8(anagrafiche[d.cliente].nome);
        qint64 totale = 0;
        bool aperta = false;
        for (const Rata& r : d.rate) {
            totale += r.centesimi;
            aperta = aperta || r.incassati != r.centesimi;
        }
        for (const Rata& r : d.rate) {
            std::array<QVariant, 4> date;
            for (const Lettera& l : r.lettere)
                if (l.fase < 4)
                    date[size_t(l.fase)] = l.giorno;
            const QString pagato = r.incassati == r.centesimi ? QStringLiteral("SI")
                                   : r.incassati == 0          ? QStringLiteral("NO")
                                                               : QStringLiteral("PARZ.");
            credito.run({{QStringLiteral("NumeroFattura"), numeroFattura},
                         {QStringLiteral("DataFattura"), d.data},
                         {QStringLiteral("Scadenza"), r.scadenza},
                         {QStringLiteral("Importo"), QVariant::fromValue(Money::fromCents(r.centesimi))},
                         {QStringLiteral("Incassato"), QVariant::fromValue(Money::fromCents(r.incassati))},
                         {QStringLiteral("Residuo"), QVariant::fromValue(Money::fromCents(r.centesimi - r.incassati))},
                         {QStringLiteral("DataIncasso"), r.dataIncasso},
                         {QStringLiteral("Note"), d.note},
                         {QStringLiteral("Pagato"), pagato},
                         {QStringLiteral("ModalitaPagamento"), QString::fromUtf8(nomiModalita[d.modalita])},
                         {QStringLiteral("Banca"), QString::fromUtf8(banche[d.banca].nome)},
                         {QStringLiteral("Preavviso"), date[0]},
                         {QStringLiteral("Sollecito1"), date[1]},
                         {QStringLiteral("Sollecito2"), date[2]},
                         {QStringLiteral("Sollecito3"), date[3]},
                         {QStringLiteral("DestinatarioFattura"), nomeCliente},
                         {QStringLiteral("Cliente"), nomeCliente},
                         {QStringLiteral("Stato"), aperta ? QStringLiteral("APERTA") : QStringLiteral("CHIUSA")},
                         {QStringLiteral("ImportoTotale"), QVariant::fromValue(Money::fromCents(totale))},
                         {QStringLiteral("SospendiSolleciti"), r.sospeso},
                         {QStringLiteral("SospesoFino"), QVariant()},
                         {QStringLiteral("MotivoSospensione"), r.motivo}});
            const qint64 id = conn.lastInsertId();
            ++out.crediti;
            for (const Lettera& l : r.lettere) {
                invii::Invio v;
                v.idCredito = id;
                v.cliente = nomeCliente;
                v.numeroFattura = numeroFattura;
                v.dataFattura = d.data;
                v.fase = fasi::parola(l.fase);
                v.modo = QStringLiteral("DOCUMENTO");
                const QString a = destinatari.at(d.cliente);
                // The letters on paper are made after the mail run.
                v.dataOra = QDateTime(l.giorno, QTime(8, a.isEmpty() ? 50 : 30).addSecs(caso.tra(20, 600)));
                v.postazione = postazione;
                if (a.isEmpty()) {
                    v.canale = QStringLiteral("PDF");
                    v.esito = invii::Creata;
                } else {
                    v.canale = QStringLiteral("MAIL");
                    v.destinatari = a;
                    v.messageId = QStringLiteral("<%1.%2@demo-forniture.example>")
                                      .arg(v.dataOra.toString(QStringLiteral("yyyyMMddHHmmss")))
                                      .arg(id);
                    v.esito = caso.percento(3) ? invii::nonInviata(casellaPiena) : invii::Inviata;
                }
                invii::registra(conn, v);
                ++out.lettere;
                Giro& giro = giri[qMakePair(l.giorno, v.canale)];
                if (!giro.inizio.isValid() || v.dataOra < giro.inizio)
                    giro.inizio = v.dataOra;
                giro.fine = std::max(giro.fine, v.dataOra);
                ++giro.create;
                if (v.esito == invii::Inviata)
                    ++giro.inviate;
                else if (v.canale == QLatin1String("MAIL")) {
                    ++giro.nonInviate;
                    giro.errori << QStringLiteral("Si è verificato un errore durante la procedura di invio mail per il "
                                                  "Documento N°") +
                                       numeroFattura + QStringLiteral(". - ") +
                                       casellaPiena;
                }
            }
        }
    }
    const QString ora = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    db::Statement giro(conn, QStringLiteral(
        "INSERT INTO t_esecuzioni (Inizio, Fine, Postazione, Avvio, Modo, Canale, \"Create\", Inviate, NonInviate, "
        "Errori, Esito) VALUES (:Inizio, :Fine, :Postazione, 'FINESTRA', 'DOCUMENTO', :Canale, :Create, :Inviate, "
        ":NonInviate, :Errori, :Esito)"));
    for (auto it = giri.cbegin(); it != giri.cend(); ++it) {
        const Giro& g = it.value();
        giro.run({{QStringLiteral("Inizio"), g.inizio.addSecs(-15).toString(ora)},
                  {QStringLiteral("Fine"), g.fine.addSecs(4).toString(ora)},
                  {QStringLiteral("Postazione"), postazione},
                  {QStringLiteral("Canale"), it.key().second},
                  {QStringLiteral("Create"), g.create},
                  {QStringLiteral("Inviate"), g.inviate},
                  {QStringLiteral("NonInviate"), g.nonInviate},
                  {QStringLiteral("Errori"), g.errori.isEmpty() ? QVariant() : QVariant(g.errori.join(QLatin1Char('\n')))},
                  {QStringLiteral("Esito"), g.errori.isEmpty() ? QStringLiteral("COMPLETATA") : QStringLiteral("CON ERRORI")}});
    }
    tx.commit();
    return out;
}

} // namespace sz::demo
