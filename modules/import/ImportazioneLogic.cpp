#include "ImportazioneLogic.h"

#include "scadenzio/Dialect.h"
#include "scadenzio/sheets/Readers.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Money.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <exception>
#include <limits>
#include <memory>
#include <vector>

namespace sz::importazione {

using sz::db::Params;

QString letterale(Tipo tipo)
{
    return tipo == Tipo::Clienti ? QStringLiteral("Clienti") : QStringLiteral("Fatture");
}

const QList<Campo>& campi(Tipo tipo)
{
    static const QList<Campo> clienti = {
        {QStringLiteral("Ragione Sociale:"), QStringLiteral("ComboRagioneSocialeCliente"),
         QStringLiteral("RagioneSociale"), QStringLiteral("la ragione sociale"), true},
        {QStringLiteral("Indirizzo:"), QStringLiteral("ComboIndirizzoCliente"), QStringLiteral("Indirizzo"),
         QStringLiteral("l'indirizzo")},
        {QStringLiteral("Località:"), QStringLiteral("ComboLocalitaCliente"), QStringLiteral("Localita"),
         QStringLiteral("la località")},
        {QStringLiteral("CAP:"), QStringLiteral("ComboCAPCliente"), QStringLiteral("CAP"),
         QStringLiteral("il CAP")},
        {QStringLiteral("Provincia:"), QStringLiteral("ComboProvinciaCliente"), QStringLiteral("Provincia"),
         QStringLiteral("la provincia")},
        {QStringLiteral("Telefono:"), QStringLiteral("ComboTelefonoCliente"), QStringLiteral("Telefono"),
         QStringLiteral("il telefono")},
        {QStringLiteral("Cell.:"), QStringLiteral("ComboCellCliente"), QStringLiteral("Cell"),
         QStringLiteral("il cellulare")},
        {QStringLiteral("Fax:"), QStringLiteral("ComboFaxCliente"), QStringLiteral("Fax"),
         QStringLiteral("il fax")},
        {QStringLiteral("P. IVA:"), QStringLiteral("ComboPIVACliente"), QStringLiteral("PartitaIVA"),
         QStringLiteral("la partita iva")},
        {QStringLiteral("C.F.:"), QStringLiteral("ComboCFCliente"), QStringLiteral("CF"),
         QStringLiteral("il codice fiscale")},
        {QStringLiteral("Mail #1:"), QStringLiteral("ComboMail1Cliente"), QStringLiteral("Mail1"),
         QStringLiteral("l'indirizzo mail")},
        {QStringLiteral("Mail #2:"), QStringLiteral("ComboMail2Cliente"), QStringLiteral("Mail2"),
         QStringLiteral("l'indirizzo mail")},
        {QStringLiteral("Mail #3:"), QStringLiteral("ComboMail3Cliente"), QStringLiteral("Mail3"),
         QStringLiteral("l'indirizzo mail")},
        {QStringLiteral("Referente:"), QStringLiteral("ComboReferenteCliente"), QStringLiteral("Referente"),
         QStringLiteral("il referente amministrativo")}};
    static const QList<Campo> fatture = {
        {QStringLiteral("Numero Documento:"), QStringLiteral("ComboNumeroFattura"),
         QStringLiteral("NumeroFattura"), QStringLiteral("il numero di fattura"), true},
        {QStringLiteral("Data Documento:"), QStringLiteral("ComboDataFattura"), QStringLiteral("DataFattura"),
         QStringLiteral("la data di emissione"), true},
        {QStringLiteral("Scadenza:"), QStringLiteral("ComboScadenzaFattura"), QStringLiteral("Scadenza"),
         QStringLiteral("la scadenza"), true},
        {QStringLiteral("Importo:"), QStringLiteral("ComboImportoFattura"), QStringLiteral("Importo"),
         QStringLiteral("l'importo")},
        {QStringLiteral("Importo Incassato:"), QStringLiteral("ComboImportoIncassato"),
         QStringLiteral("ImportoIncassato"), QStringLiteral("l'importo incassato")},
        {QStringLiteral("Data Incasso:"), QStringLiteral("ComboDataIncasso"), QStringLiteral("DataIncasso"),
         QStringLiteral("la data di incasso")},
        {QStringLiteral("Modalita Pagamento:"), QStringLiteral("ComboModalitaPagamento"),
         QStringLiteral("ModalitaPagamento"), QStringLiteral("la modalità di pagamento")},
        {QStringLiteral("Dest. Documento:"), QStringLiteral("ComboDestinatarioFattura"),
         QStringLiteral("DestinatarioFattura"), QStringLiteral("il destinatario della fattura")},
        {QStringLiteral("Cliente:"), QStringLiteral("ComboClienteFattura"), QStringLiteral("Cliente"),
         QStringLiteral("il cliente"), true},
        {QStringLiteral("Banca:"), QStringLiteral("ComboBanca"), QStringLiteral("Banca"),
         QStringLiteral("la banca")},
        {QStringLiteral("Note:"), QStringLiteral("ComboNote"), QStringLiteral("Note"),
         QStringLiteral("le note")}};
    return tipo == Tipo::Clienti ? clienti : fatture;
}

QString suggerimento(const Campo& campo)
{
    return QStringLiteral("Selezionare la colonna che identifica ") + campo.oggetto +
           (campo.obbligatorio ? QStringLiteral(" (obbligatorio)")
                               : QStringLiteral(" (lasciare vuoto se non presente)"));
}

// ---- preview grid ----------------------------------------------------------------------

QString Griglia::cella(int riga, int colonna) const
{
    if (riga < 0 || riga >= celle.size() || colonna < 0) return {};
    const QStringList& r = celle[riga];
    return colonna < r.size() ? r[colonna] : QString();
}

bool Griglia::leggibile(int riga, int colonna) const
{
    const auto it = illeggibili.constFind(riga);
    return it == illeggibili.constEnd() || !it->contains(colonna);
}

Griglia grigliaDa(sheets::Rows&& righe, int minimoColonne)
{
    // The cells are changed where they are: a file of 100,000 rows is held once, not as the
    // reader's rows and the grid side by side.
    Griglia g;
    g.colonne = std::max(minimoColonne, 1);
    for (const QStringList& r : righe)
        g.colonne =
            std::max(g.colonne, int(std::min<qsizetype>(r.size(), std::numeric_limits<int>::max() - 1)) + 1);
    for (qsizetype i = 0; i < righe.size(); ++i) {
        QStringList& letta = righe[i];
        QStringList riga;
        riga.reserve(letta.size() + 1);
        riga << (i == 0 ? QString() : QString::number(i));
        for (QString& c : letta)
            riga << std::move(c).toUpper().trimmed();
        letta = std::move(riga);
    }
    g.celle = std::move(righe);
    return g;
}

Griglia grigliaDa(const sheets::Rows& righe, int minimoColonne)
{
    Griglia g;
    g.colonne = std::max(minimoColonne, 1);
    for (const QStringList& r : righe)
        g.colonne =
            std::max(g.colonne, int(std::min<qsizetype>(r.size(), std::numeric_limits<int>::max() - 1)) + 1);
    g.celle.reserve(righe.size());
    for (int i = 0; i < righe.size(); ++i) {
        QStringList riga;
        riga.reserve(righe[i].size() + 1);
        riga << (i == 0 ? QString() : QString::number(i));
        for (const QString& c : righe[i])
            riga << c.toUpper().trimmed();
        g.celle << riga;
    }
    return g;
}

QString didascalia(TipoFile tipo)
{
    switch (tipo) {
    case TipoFile::Csv: return QStringLiteral(".csv");
    case TipoFile::Txt: return QStringLiteral(".txt");
    case TipoFile::Foglio: return QStringLiteral(".xls .xlsx");
    case TipoFile::Fattura: break;
    }
    return QStringLiteral("Fattura elettronica (.xml .p7m .zip)");
}

std::optional<TipoFile> tipoFileDi(const QString& file)
{
    const QString e = QFileInfo(file).suffix().toLower();
    if (e == QLatin1String("csv")) return TipoFile::Csv;
    if (e == QLatin1String("txt")) return TipoFile::Txt;
    if (e == QLatin1String("xls") || e == QLatin1String("xlsx") || e == QLatin1String("xlsm") ||
        e == QLatin1String("ods"))
        return TipoFile::Foglio;
    if (e == QLatin1String("xml") || e == QLatin1String("p7m") || e == QLatin1String("zip"))
        return TipoFile::Fattura;
    return std::nullopt;
}

Caricamento caricaFile(const QString& file, TipoFile tipo, QChar delimitatore, int minimoColonne)
{
    Caricamento c;
    if (tipo == TipoFile::Fattura)
        throw Error(QStringLiteral("Le fatture elettroniche si caricano con i dati dell'azienda."));
    if (tipo == TipoFile::Foglio) {
        sheets::Foglio f = sheets::readSpreadsheet(file);
        c.griglia = grigliaDa(std::move(f.righe));
        c.avviso = f.avviso;
        // Sheet rows count from 0 like the grid's (row 0 the header); grid column 0 holds
        // the row numbers.
        for (const auto& [riga, colonna] : f.illeggibili)
            c.griglia.illeggibili[riga] << colonna + 1;
    } else {
        c.griglia = grigliaDa(sheets::readDelimited(file, delimitatore), minimoColonne);
    }
    return c;
}

// ---- saved settings and mapping --------------------------------------------------------

QChar carattereDelimitatore(const QString& testo)
{
    if (testo == QLatin1String("Punto e virgola")) return QLatin1Char(';');
    if (testo == QLatin1String("Virgola")) return QLatin1Char(',');
    if (testo == QLatin1String("Tabulazione")) return QLatin1Char('\t');
    return testo.isEmpty() ? QChar() : testo.at(0);
}

namespace {

// A kind saved twice is read, and written, from its first row.
const QString sqlParametri = QStringLiteral(
    "SELECT * FROM t_parametriImportazioni WHERE TipologiaImportazione = :TipologiaImportazione ORDER BY ID");

QString tabellaMappatura(Tipo tipo)
{
    return tipo == Tipo::Clienti ? QStringLiteral("t_mappaturaImportazioniClienti")
                                 : QStringLiteral("t_mappaturaImportazioniFatture");
}

QString chiaveParametri(sz::db::Connection& conn, Tipo tipo)
{
    const auto r = conn.query(sqlParametri, {{QStringLiteral("TipologiaImportazione"), letterale(tipo)}});
    return r.isEmpty() ? QString() : r.value(0, QStringLiteral("ID")).toString();
}

} // namespace

Impostazione CaricaImpostazione(sz::db::Connection& conn, Tipo tipo)
{
    Impostazione out;
    const auto r = conn.query(sqlParametri, {{QStringLiteral("TipologiaImportazione"), letterale(tipo)}});
    if (r.isEmpty()) return out;
    out.trovata = true;
    out.estensione = r.value(0, QStringLiteral("Estensione")).toString();
    out.delimitatore = r.value(0, QStringLiteral("Delimitatore")).toString();
    return out;
}

void SalvaImpostazione(sz::db::Connection& conn, Tipo tipo, const QString& estensione,
                       const QString& delimitatore)
{
    const Params p = {{QStringLiteral("Estensione"), estensione},
                      {QStringLiteral("Delimitatore"), delimitatore},
                      {QStringLiteral("Tipologia"), letterale(tipo)}};
    if (chiaveParametri(conn, tipo).isEmpty())
        conn.exec(QStringLiteral(
                      "INSERT INTO t_parametriImportazioni (Estensione, Delimitatore, TipologiaImportazione) "
                      "VALUES (:Estensione, :Delimitatore, :Tipologia)"),
                  p);
    else
        conn.exec(
            QStringLiteral("UPDATE t_parametriImportazioni SET Estensione = :Estensione, Delimitatore = "
                           ":Delimitatore WHERE TipologiaImportazione = :Tipologia"),
            p);
}

Scelte CaricaMappatura(sz::db::Connection& conn, Tipo tipo)
{
    Scelte out;
    const QString chiave = chiaveParametri(conn, tipo);
    const auto r = conn.query(
        QStringLiteral("SELECT * FROM %1 WHERE IDParametriImportazioni = :ID ORDER BY ID").arg(tabellaMappatura(tipo)),
        {{QStringLiteral("ID"), chiave}});
    if (r.isEmpty()) return out;
    for (const Campo& c : campi(tipo))
        out.insert(c.mappatura, r.value(0, c.mappatura).toString());
    return out;
}

void SalvaMappatura(sz::db::Connection& conn, Tipo tipo, const Scelte& scelte)
{
    const QString chiave = chiaveParametri(conn, tipo);
    const QString tabella = tabellaMappatura(tipo);
    const auto r =
        conn.query(QStringLiteral("SELECT ID FROM %1 WHERE IDParametriImportazioni = :ID ORDER BY ID").arg(tabella),
                   {{QStringLiteral("ID"), chiave}});
    Params p;
    QStringList nomi, segnaposto, assegnazioni;
    for (const Campo& c : campi(tipo)) {
        p << qMakePair(c.mappatura, QVariant(scelte.value(c.mappatura, QStringLiteral(""))));
        nomi << c.mappatura;
        segnaposto << QLatin1Char(':') + c.mappatura;
        assegnazioni << c.mappatura + QStringLiteral(" = :") + c.mappatura;
    }
    if (r.isEmpty()) {
        p << qMakePair(QStringLiteral("IDParametriImportazioni"), QVariant(chiave));
        conn.exec(QStringLiteral(
                      "INSERT INTO %1 (IDParametriImportazioni, %2) VALUES (:IDParametriImportazioni, %3)")
                      .arg(tabella, nomi.join(QStringLiteral(", ")), segnaposto.join(QStringLiteral(", "))),
                  p);
    } else {
        p << qMakePair(QStringLiteral("ID"), r.rows[0][0]);
        conn.exec(QStringLiteral("UPDATE %1 SET %2 WHERE ID = :ID")
                      .arg(tabella, assegnazioni.join(QStringLiteral(", "))),
                  p);
    }
}

Colonne risolviColonne(const Griglia& griglia, Tipo tipo, const Scelte& scelte)
{
    Colonne out;
    for (const Campo& c : campi(tipo)) {
        const QString scelta = scelte.value(c.mappatura);
        // The last column holding the text: one pass over the cells the rows really have.
        int colonna = -1;
        if (!scelta.isEmpty())
            for (const QStringList& riga : griglia.celle)
                for (int col = int(riga.size()) - 1; col > std::max(colonna, 0); --col)
                    // Texts equal but for letter case have the same length: most cells are
                    // told apart without comparing them.
                    if (riga[col].size() == scelta.size() &&
                        riga[col].compare(scelta, Qt::CaseInsensitive) == 0) {
                        colonna = col;
                        break;
                    }
        out.insert(c.mappatura, colonna);
    }
    return out;
}

// ---- checks ----------------------------------------------------------------------------

namespace {

QDate leggiData(const QString& testo)
{
    // The common "dd/mm/yyyy" (or "d/m/yyyy") of every row read straight; anything else,
    // and a day the calendar lacks, by the general rules below.
    {
        const QChar* p = testo.constData();
        const qsizetype n = testo.size();
        int campi[3] = {0, 0, 0}, cifre[3] = {0, 0, 0}, k = 0;
        bool ok = n >= 8 && n <= 10;
        for (qsizetype i = 0; ok && i < n; ++i) {
            const char16_t u = p[i].unicode();
            if (u >= u'0' && u <= u'9') {
                campi[k] = campi[k] * 10 + (u - u'0');
                ++cifre[k];
            } else if (u == u'/' && k < 2) {
                ++k;
            } else {
                ok = false;
            }
        }
        if (ok && k == 2 && cifre[0] >= 1 && cifre[0] <= 2 && cifre[1] >= 1 && cifre[1] <= 2 && cifre[2] == 4) {
            const QDate d(campi[2], campi[1], campi[0]);
            if (d.isValid()) return d;
        }
    }
    QDate d = dates::fromDisplay(testo);
    if (!d.isValid()) d = QDate::fromString(testo.trimmed(), QStringLiteral("d/M/yyyy"));
    return d;
}

} // namespace

bool dataValida(const QString& testo)
{
    return leggiData(testo).isValid();
}

bool importoValido(const QString& testo)
{
    QString cifre = testo;
    cifre.remove(QLatin1Char('.')).remove(QLatin1Char(','));
    bool ok = false;
    const qlonglong v = cifre.toLongLong(&ok);
    return ok && !cifre.contains(QLatin1Char(' ')) && v >= std::numeric_limits<qint32>::min() &&
           v <= std::numeric_limits<qint32>::max();
}

// ---- control characters ----------------------------------------------------------------

namespace {

bool interruzione(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.unicode() == 0x2028 || c.unicode() == 0x2029;
}

} // namespace

bool controllo(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || (u >= 0x202A && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069) || u == 0x2028 || u == 0x2029;
}

bool haControlli(const QString& testo)
{
    return std::any_of(testo.begin(), testo.end(), controllo);
}

QString senzaControlli(const QString& testo, bool multiriga)
{
    if (!haControlli(testo)) return testo;
    QString out;
    out.reserve(testo.size());
    for (qsizetype i = 0; i < testo.size(); ++i) {
        const QChar c = testo[i];
        if (!controllo(c)) {
            out += c;
        } else if (interruzione(c) && multiriga) {
            // CR LF is one break.
            if (c == QLatin1Char('\r') && i + 1 < testo.size() && testo[i + 1] == QLatin1Char('\n')) ++i;
            out += QLatin1Char('\n');
        } else if (interruzione(c) || c == QLatin1Char('\t')) {
            // Two words on two lines of a cell stay two words on one line.
            if (!out.isEmpty() && !out.endsWith(QLatin1Char(' ')) && !out.endsWith(QLatin1Char('\n')))
                out += QLatin1Char(' ');
        }
    }
    return out.trimmed();
}

QString visibile(const QString& testo)
{
    // Written as the letters' error lines write a bad address.
    QString out;
    for (const QChar c : testo) {
        if (!controllo(c)) {
            out += c;
            continue;
        }
        // NUL, tab, LF and CR as their control pictures (U+2400 onwards), DEL as its own.
        const char16_t u = c.unicode();
        if (u == 0x00 || u == 0x09 || u == 0x0A || u == 0x0D)
            out += QChar(char16_t(0x2400 + u));
        else if (u == 0x7F)
            out += QChar(0x2421);
        else
            out += QStringLiteral("<U+") + QString::number(u, 16).toUpper().rightJustified(4, QLatin1Char('0')) +
                   QLatin1Char('>');
    }
    return out;
}

QString ibanNormalizzato(const QString& iban)
{
    QString s;
    for (const QChar c : iban)
        if (c.isLetterOrNumber()) s += c.toUpper();
    return s;
}

bool ibanPlausibile(const QString& iban)
{
    const QString s = ibanNormalizzato(iban);
    if (s.size() < 15 || s.size() > 34) return false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t u = s[i].unicode();
        const bool lettera = u >= 'A' && u <= 'Z', cifra = u >= '0' && u <= '9';
        if (i < 2 ? !lettera : i < 4 ? !cifra : !(lettera || cifra)) return false;
    }
    return true;
}

// ---- the run ---------------------------------------------------------------------------

namespace {

// Rows between two commits (one sync each, never one per row): a thousand at first, so a
// run stopped early (a full disk) keeps most of what it wrote, then five thousand, as each
// commit writes the journal and every page its batch changed.
bool fineLotto(int riga)
{
    return riga % 1000 == 0 && (riga <= 10000 || riga % 5000 == 0);
}

struct Lettore
{
    Lettore(const Griglia& griglia, const Colonne& mappa)
        : g(griglia), colonne(mappa), conAnagrafica(colonna(QStringLiteral("Cliente.IVA")) >= 0),
          conIban(colonna(QStringLiteral("Banca.IBAN")) >= 0)
    {
    }
    const Griglia& g;
    const Colonne& colonne;
    int riga = 0;
    // The grid column of a field, or -1: resolved once per run, not once per cell.
    int colonna(const QString& campo) const { return colonne.value(campo, -1); }
    // The cell of a field without control characters: notes keep their line breaks.
    QString operator()(const QString& campo) const
    {
        return senzaControlli(grezzo(campo), campo == QLatin1String("Note"));
    }
    QString operator()(int colonna, bool multiriga = false) const
    {
        return colonna < 0 ? QString() : senzaControlli(g.cella(riga, colonna), multiriga);
    }
    // The cell as the file gave it.
    QString grezzo(const QString& campo) const
    {
        const int c = colonna(campo);
        return c < 0 ? QString() : g.cella(riga, c);
    }
    // The grid carries the client registry data of its documents (electronic invoices).
    bool anagrafica() const { return conAnagrafica; }
    // The grid is one of electronic invoices, whose instalments name their bank by IBAN.
    bool elettronica() const { return conIban; }

private:
    bool conAnagrafica, conIban;
};

// The mapped fields of this row whose cells the reader could not read: one line, or empty.
QString nonLette(const Lettore& leggi, Tipo tipo, int n)
{
    if (leggi.g.illeggibili.isEmpty()) return {};
    QStringList campiNonLetti;
    for (const Campo& c : campi(tipo)) {
        const int colonna = leggi.colonne.value(c.mappatura, -1);
        if (colonna < 1 || leggi.g.leggibile(n, colonna)) continue;
        QString nome = c.didascalia;
        if (nome.endsWith(QLatin1Char(':'))) nome.chop(1);
        campiNonLetti
            << QStringLiteral("%1 (cella %2%3)").arg(nome, sheets::columnName(colonna - 1)).arg(n + 1);
    }
    if (campiNonLetti.isEmpty()) return {};
    return QStringLiteral("RIGA %1: ").arg(n) + campiNonLetti.join(QStringLiteral(", ")) +
           (campiNonLetti.size() == 1 ? QStringLiteral(": il valore non si è potuto leggere dal file")
                                      : QStringLiteral(": i valori non si sono potuti leggere dal file")) +
           QStringLiteral(", la riga non è stata importata.");
}

QString riga(int n)
{
    return QStringLiteral("RIGA %1: ").arg(n);
}

QVariant testoOVuoto(const QString& s)
{
    return QVariant(s.isNull() ? QStringLiteral("") : s);
}

// Names as the register's text columns compare them: letter case ignored, accented letters
// too, one UTF-16 unit against the other (sz::db::compareText). Only a name the engine
// compares the same way is answered here (Dialect::foldsAsCompareText): one holding a
// character beyond the Basic Multilingual Plane, and on a server anything beyond ASCII,
// is asked of the database instead.
class Nomi
{
public:
    static bool adatto(const QString& s)
    {
        return std::none_of(s.begin(), s.end(), [](QChar c) { return c.isSurrogate(); });
    }
    bool contiene(const QString& s) const { return m_chiavi.contains(chiave(s)); }
    // true when the name was not there yet.
    bool aggiungi(const QString& s)
    {
        const QString k = chiave(s);
        if (m_chiavi.contains(k)) return false;
        m_chiavi.insert(k);
        return true;
    }
    void togli(const QString& s) { m_chiavi.remove(chiave(s)); }
    void svuota()
    {
        m_chiavi.clear();
        m_incompleto = false;
    }
    // The register holds a name this set cannot hold: a name missing here may still be there
    // under a form the engine finds equal.
    void segnaIncompleto() { m_incompleto = true; }
    bool incompleto() const { return m_incompleto; }
    // The name as the comparison sees it (for a name adatto).
    static QString chiave(const QString& s)
    {
        QString k(s.size(), Qt::Uninitialized);
        QChar* out = k.data();
        for (qsizetype i = 0; i < s.size(); ++i)
            out[i] = QChar(char16_t(QChar::toCaseFolded(char32_t(s[i].unicode()))));
        return k;
    }

private:
    QSet<QString> m_chiavi;
    bool m_incompleto = false;
};

// What a kind of row writes. A row runs in one of two ways: inside the batch's savepoint
// with the documents' totals left for the end of the batch (subito = false), or in a
// savepoint of its own with everything done at once, as the batch is replayed after a
// failure (subito = true).
class Righe
{
public:
    virtual ~Righe() = default;
    // false with the row's messages when it is refused.
    virtual bool riga(const Lettore& leggi, int n, QStringList& errori, QStringList& avvisi,
                      bool subito) = 0;
    // Reads again what the rows look up in memory (another connection changed the file).
    virtual void carica() {}
    // Totals and states of the documents the rows since the last mark changed.
    virtual void ricalcola() {}
    // What the rows since a mark taught the lookups, forgotten when they are rolled back.
    size_t segno() const { return m_disfa.size(); }
    void ripristina(size_t segno)
    {
        while (m_disfa.size() > segno) {
            disfa(m_disfa.back());
            m_disfa.pop_back();
        }
    }
    void dimentica() { m_disfa.clear(); }

protected:
    enum class Cosa { Cliente, Modalita, Banca, Documento, Rata, Attesa };
    struct Voce
    {
        Cosa cosa;
        QString testo;
        QDate data;
        bool nuovo = true; // a bank: its name was not in the register yet
    };
    virtual void disfa(const Voce&) {}
    std::vector<Voce> m_disfa;
};

class Clienti : public Righe
{
public:
    explicit Clienti(sz::db::Connection& c)
        : trova(c, QStringLiteral("SELECT * FROM t_clienti WHERE RagioneSociale = :RagioneSociale ORDER BY ID")),
          aggiorna(c, QStringLiteral(
                          "UPDATE t_clienti SET Indirizzo = :Indirizzo, Localita = :Localita, Provincia = "
                          ":Provincia, CAP = :CAP, Telefono = :Telefono, Cell = :Cell, Fax = :Fax, IVA = "
                          ":PartitaIVA, CF = :CF, Mail1 = :Mail1, Mail2 = :Mail2, Mail3 = :Mail3, "
                          "Riferimento = :Referente WHERE RagioneSociale = :RagioneSociale")),
          inserisci(c, QStringLiteral(
                           "INSERT INTO t_clienti (RagioneSociale, Indirizzo, Localita, Provincia, CAP, "
                           "Telefono, Cell, Fax, IVA, CF, Mail1, Mail2, Mail3, Riferimento) VALUES "
                           "(:RagioneSociale, :Indirizzo, :Localita, :Provincia, :CAP, :Telefono, :Cell, "
                           ":Fax, :PartitaIVA, :CF, :Mail1, :Mail2, :Mail3, :Referente)"))
    {
    }

    bool riga(const Lettore& leggi, int n, QStringList& errori, QStringList&, bool) override
    {
        QHash<QString, QString> v;
        // A line break in an address is the start of a new mail command on the way to the
        // server: such an address is refused, never mended.
        QStringList mailErrate;
        for (const Campo& c : campi(Tipo::Clienti)) {
            v.insert(c.mappatura, leggi(c.mappatura));
            const QString grezzo = leggi.grezzo(c.mappatura);
            if (c.mappatura.startsWith(QLatin1String("Mail")) && haControlli(grezzo)) {
                QString nome = c.didascalia;
                nome.chop(1);
                mailErrate << nome + QStringLiteral(" \"") + visibile(grezzo.toLower()) + QLatin1Char('"');
            }
        }
        const QString nome = v.value(QStringLiteral("RagioneSociale"));
        const QString cap = v.value(QStringLiteral("CAP")), provincia = v.value(QStringLiteral("Provincia"));
        const bool capErrato = !cap.isEmpty() && cap.size() != 5;
        const bool provinciaErrata = !provincia.isEmpty() && provincia.size() != 2;
        if (nome.isEmpty() || capErrato || provinciaErrata || !mailErrate.isEmpty()) {
            if (nome.isEmpty()) errori << importazione::riga(n) + QStringLiteral("Ragione Sociale nulla.");
            if (capErrato) errori << importazione::riga(n) + QStringLiteral("CAP non valido.");
            if (provinciaErrata) errori << importazione::riga(n) + QStringLiteral("Provincia non valida.");
            if (!mailErrate.isEmpty())
                errori << importazione::riga(n) +
                              QStringLiteral(
                                  "indirizzo mail non valido, contiene caratteri di controllo (%1).")
                                  .arg(mailErrate.join(QStringLiteral("; ")));
            return false;
        }
        const auto trovato = trova.run({{QStringLiteral("RagioneSociale"), nome}});
        if (!trovato.isEmpty()) {
            // What the file leaves empty keeps what the register holds.
            static const QList<QPair<const char*, const char*>> daTabella = {{"Indirizzo", "Indirizzo"},
                                                                             {"Localita", "Localita"},
                                                                             {"Provincia", "Provincia"},
                                                                             {"CAP", "CAP"},
                                                                             {"Telefono", "Telefono"},
                                                                             {"Cell", "Cell"},
                                                                             {"Fax", "Fax"},
                                                                             {"PartitaIVA", "IVA"},
                                                                             {"CF", "CF"},
                                                                             {"Mail1", "Mail1"},
                                                                             {"Mail2", "Mail2"},
                                                                             {"Mail3", "Mail3"},
                                                                             {"Referente", "Riferimento"}};
            for (const auto& [campo, colonna] : daTabella)
                if (v.value(QLatin1String(campo)).isEmpty())
                    v.insert(QLatin1String(campo),
                             trovato.value(0, QLatin1String(colonna)).toString().toUpper());
        }
        Params p;
        for (auto it = v.begin(); it != v.end(); ++it) {
            const bool mail = it.key().startsWith(QLatin1String("Mail"));
            p << qMakePair(it.key(), testoOVuoto(mail ? it.value().toLower() : it.value()));
        }
        (trovato.isEmpty() ? inserisci : aggiorna).run(p);
        return true;
    }

private:
    sz::db::Statement trova, aggiorna, inserisci;
};

class Fatture : public Righe
{
public:
    Fatture(sz::db::Connection& c, const Lettore& leggi)
        : conn(c), numeroC(leggi.colonna(QStringLiteral("NumeroFattura"))),
          dataFatturaC(leggi.colonna(QStringLiteral("DataFattura"))),
          scadenzaC(leggi.colonna(QStringLiteral("Scadenza"))), importoC(leggi.colonna(QStringLiteral("Importo"))),
          incassatoC(leggi.colonna(QStringLiteral("ImportoIncassato"))),
          dataIncassoC(leggi.colonna(QStringLiteral("DataIncasso"))),
          modalitaC(leggi.colonna(QStringLiteral("ModalitaPagamento"))),
          destinatarioC(leggi.colonna(QStringLiteral("DestinatarioFattura"))),
          clienteC(leggi.colonna(QStringLiteral("Cliente"))), bancaC(leggi.colonna(QStringLiteral("Banca"))),
          noteC(leggi.colonna(QStringLiteral("Note"))), ibanC(leggi.colonna(QStringLiteral("Banca.IBAN"))),
          banca(c, QStringLiteral("SELECT Nome FROM t_banche WHERE Nome = :Banca")),
          nuovaBanca(c, QStringLiteral("INSERT INTO t_banche (Nome, IBAN) VALUES (:Nome, :IBAN)")),
          // Every instalment of the key: the first gives what the file leaves empty, and
          // each is written only when it does not hold the row's values already (the same
          // file again writes nothing). The last column says whether its amounts are stored
          // as the exact integers the row would write.
          trova(c, QStringLiteral(
                       "SELECT Importo, Incassato, DataIncasso, Note, ModalitaPagamento, Banca, "
                       "DestinatarioFattura, Cliente, Residuo, Pagato, ID, typeof(Importo) = 'integer' AND "
                       "typeof(Incassato) = 'integer' AND typeof(Residuo) = 'integer' FROM t_crediti "
                       "WHERE NumeroFattura = :NumeroFattura AND DataFattura = :DataFattura AND Scadenza = "
                       ":Scadenza ORDER BY Scadenza, ID")),
          // A statement failing halfway is undone by the batch or the row's savepoint, so the
          // engine keeps no journal of its own for it (OR FAIL), which would cost an encrypted
          // copy of every page it changes.
          aggiorna(
              c,
              QStringLiteral(
                  "UPDATE OR FAIL t_crediti SET Importo = :Importo, Incassato = :Incassato, Residuo = "
                  ":Residuo, DataIncasso = :DataIncasso, Note = :Note, Pagato = :Pagato, ModalitaPagamento "
                  "= :ModalitaPagamento, Banca = :Banca, DestinatarioFattura = :DestinatarioFattura, "
                  "Cliente = :Cliente, Stato = :Stato, ImportoTotale = :ImportoTotale WHERE ID = :ID")),
          inserisci(
              c,
              QStringLiteral(
                  "INSERT INTO t_crediti (NumeroFattura, DataFattura, Scadenza, Importo, Incassato, Residuo, "
                  "DataIncasso, Note, Pagato, ModalitaPagamento, Banca, DestinatarioFattura, Cliente, Stato, "
                  "ImportoTotale) VALUES (:NumeroFattura, :DataFattura, :Scadenza, :Importo, :Incassato, "
                  ":Residuo, :DataIncasso, :Note, :Pagato, :ModalitaPagamento, :Banca, :DestinatarioFattura, "
                  ":Cliente, :Stato, :ImportoTotale)")),
          // The total of the document and its state (open while an instalment is unpaid),
          // written to the instalments that do not hold them yet.
          totaleEStato(c, QStringLiteral("SELECT SUM(Importo), MAX(CASE WHEN Pagato IS NULL OR Pagato <> "
                                         "'SI' THEN 1 ELSE 0 END) FROM t_crediti WHERE NumeroFattura = "
                                         ":NumeroFattura AND DataFattura = :DataFattura")),
          scriviTotale(
              c, QStringLiteral("UPDATE OR FAIL t_crediti SET ImportoTotale = :Totale, Stato = :Stato WHERE "
                                "NumeroFattura = :NumeroFattura AND DataFattura = :DataFattura AND "
                                "(ImportoTotale IS NOT :Totale OR typeof(ImportoTotale) <> typeof(:Totale) "
                                "OR Stato IS NOT :Stato COLLATE BINARY)")),
          cliente(c, QStringLiteral("SELECT ID FROM t_clienti WHERE RagioneSociale = :RagioneSociale")),
          nuovoCliente(c, QStringLiteral("INSERT INTO t_clienti (RagioneSociale) VALUES (:RagioneSociale)")),
          // Registry data read with the document fills only what the register leaves empty.
          completaCliente(
              c, QStringLiteral(
                     "UPDATE t_clienti SET "
                     "Indirizzo = CASE WHEN IFNULL(TRIM(Indirizzo), '') = '' AND :Indirizzo <> '' THEN "
                     ":Indirizzo ELSE Indirizzo END, "
                     "Localita = CASE WHEN IFNULL(TRIM(Localita), '') = '' AND :Localita <> '' THEN "
                     ":Localita ELSE Localita END, "
                     "CAP = CASE WHEN IFNULL(TRIM(CAP), '') = '' AND :CAP <> '' THEN :CAP ELSE CAP END, "
                     "Provincia = CASE WHEN IFNULL(TRIM(Provincia), '') = '' AND :Provincia <> '' THEN "
                     ":Provincia ELSE Provincia END, "
                     "IVA = CASE WHEN IFNULL(TRIM(IVA), '') = '' AND :IVA <> '' THEN :IVA ELSE IVA END, "
                     "CF = CASE WHEN IFNULL(TRIM(CF), '') = '' AND :CF <> '' THEN :CF ELSE CF END, "
                     "TipoCliente = CASE WHEN IFNULL(TRIM(TipoCliente), '') = '' AND :TipoCliente <> '' THEN "
                     ":TipoCliente ELSE TipoCliente END "
                     "WHERE RagioneSociale = :RagioneSociale")),
          modalita(c, QStringLiteral("SELECT ID FROM t_parametri WHERE Modalita = :Modalita")),
          nuovaModalita(
              c, QStringLiteral("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2, "
                                "Sollecito3) VALUES (:Modalita, 0, 5, 15, 30)"))
    {
    }

    // Banks, clients and payment modes are looked up once per run (and again after another
    // connection wrote), not once per row.
    void carica() override
    {
        m_banche.svuota();
        m_conIban.clear();
        m_primaBanca.clear();
        m_clienti.svuota();
        m_modalita.svuota();
        dimentica();
        const auto banche = conn.query(QStringLiteral("SELECT Nome, IBAN FROM t_banche ORDER BY ID"));
        for (const auto& r : banche.rows) {
            const QString nome = r.value(0).toString();
            if (&r == &banche.rows.first()) m_primaBanca = nome;
            if (!r.value(0).isNull()) conosci(m_banche, nome);
            if (!r.value(1).isNull()) m_conIban << qMakePair(nome, ibanNormalizzato(r.value(1).toString()));
        }
        for (const auto& r : conn.query(QStringLiteral("SELECT RagioneSociale FROM t_clienti")).rows)
            if (!r.value(0).isNull()) conosci(m_clienti, r.value(0).toString());
        for (const auto& r : conn.query(QStringLiteral("SELECT Modalita FROM t_parametri")).rows)
            if (!r.value(0).isNull()) conosci(m_modalita, r.value(0).toString());
        // A register without instalments (the first import of a firm) holds only what this
        // run writes: a row whose instalment the run has not written is new without asking.
        // Read again later (another connection wrote), the register is asked row by row.
        m_rate.clear();
        m_soloRate = !m_caricato && conn.query(QStringLiteral("SELECT 1 FROM t_crediti LIMIT 1")).isEmpty();
        m_caricato = true;
    }

    void ricalcola() override
    {
        scarica(true);
        for (const auto& [numero, data] : std::as_const(m_toccati))
            totali(numero, data);
        m_toccati.clear();
    }

    bool riga(const Lettore& leggi, int n, QStringList& errori, QStringList& avvisi, bool subito) override
    {
        QString numero = leggi(numeroC);
        QString dataFattura = leggi(dataFatturaC).remove(QLatin1Char('\''));
        QString scadenza = leggi(scadenzaC).remove(QLatin1Char('\''));
        QString importo = leggi(importoC).remove(QLatin1Char('.'));
        QString incassato = leggi(incassatoC).remove(QLatin1Char('.'));
        QString dataIncasso = leggi(dataIncassoC);
        QString mod = leggi(modalitaC);
        QString destinatario = leggi(destinatarioC);
        QString nomeCliente = leggi(clienteC);
        QString nomeBanca = leggi(bancaC);
        QString note = leggi(noteC, true);
        if (destinatario.isEmpty()) destinatario = nomeCliente;
        if (nomeCliente.isEmpty()) nomeCliente = destinatario;
        // An electronic invoice names the account to pay into by its IBAN: that is the bank,
        // whatever its name, and the register gains it when it lacks it.
        const QString iban =
            leggi.elettronica() ? ibanNormalizzato(leggi(ibanC)) : QString();

        const bool bancaMancante = !nomeBanca.isEmpty() && iban.isEmpty() && !bancaNota(nomeBanca);
        const QDate df = leggiData(dataFattura), sc = leggiData(scadenza);
        // An amount whose digits pass but that is no amount ("12,3,4") is refused here
        // with the amount's message rather than ending the whole run.
        const auto valore = [](const QString& t) {
            return t.trimmed().isEmpty() ? std::optional<Money>(Money()) : Money::parse(t);
        };
        const std::optional<Money> valoreImporto = valore(importo), valoreIncassato = valore(incassato);
        const bool importoErrato = !importo.isEmpty() && (!importoValido(importo) || !valoreImporto);
        const bool incassatoErrato = !incassato.isEmpty() && (!importoValido(incassato) || !valoreIncassato);
        if (nomeCliente.isEmpty() || numero.isEmpty() || !df.isValid() || !sc.isValid() || bancaMancante ||
            importoErrato || incassatoErrato) {
            const QString r = importazione::riga(n);
            if (nomeCliente.isEmpty()) errori << r + QStringLiteral("Cliente nullo.");
            if (numero.isEmpty()) errori << r + QStringLiteral("Numero Fattura nulla.");
            if (!df.isValid()) errori << r + QStringLiteral("Data Fattura nulla o non valida.");
            if (!sc.isValid()) errori << r + QStringLiteral("Scadenza Fattura nulla o non valida.");
            if (bancaMancante) errori << r + QStringLiteral("Banca non presente in anagrafica banche.");
            if (importoErrato) errori << r + QStringLiteral("Importo non valido.");
            if (incassatoErrato) errori << r + QStringLiteral("Importo Incassato non valido.");
            return false;
        }

        const Params chiave = {{QStringLiteral("NumeroFattura"), numero},
                               {QStringLiteral("DataFattura"), df},
                               {QStringLiteral("Scadenza"), sc}};
        if (!iban.isEmpty()) nomeBanca = bancaDi(iban, nomeBanca, numero, avvisi);
        // The keys of the document and of the instalment as the register compares them,
        // when the run knows every instalment.
        // A number the engine may find equal to another in a way the keys do not see leaves
        // every later lookup to the register.
        if (m_soloRate && !piegabile(numero)) m_soloRate = false;
        const QString doc = m_soloRate
                                ? Nomi::chiave(numero) + QChar(0x1F) + QString::number(df.toJulianDay())
                                : QString();
        const QString rata = doc.isEmpty() ? QString() : doc + QChar(0x1F) + QString::number(sc.toJulianDay());
        // Learnt before the row writes it: should the row fail, the batch or the row's
        // savepoint undoes it, and the key with it.
        bool nuova = false;
        qsizetype attesa = -1; // the waiting instalment of the same key
        Posto* posto = nullptr;
        if (!rata.isEmpty()) {
            posto = &m_rate[rata];
            if (posto->attesa == Posto::Nuova) {
                nuova = true;
                posto->attesa = -1;
                m_disfa.push_back({Cosa::Rata, rata, {}});
            } else if (posto->attesa >= 0 && size_t(posto->attesa) < m_attesa.size() &&
                       m_attesa[size_t(posto->attesa)].rata == rata) {
                attesa = posto->attesa;
            }
        }
        // The same key again while its instalment waits: the row updates it where it waits,
        // as it would in the register (a text the register would store otherwise, one with
        // a lone surrogate, goes the register's way).
        if (attesa >= 0 && !std::all_of(m_attesa[size_t(attesa)].p.cbegin(), m_attesa[size_t(attesa)].p.cend(),
                                        [](const auto& v) {
                                            return v.second.typeId() != QMetaType::QString ||
                                                   Nomi::adatto(v.second.toString());
                                        }))
            attesa = -1;
        // Any other lookup goes to the register, which must hold the waiting instalments.
        if (!nuova && attesa < 0) scarica(false);
        const auto esistente = nuova || attesa >= 0 ? sz::db::Result() : trova.run(chiave);
        QVector<QVariant> inAttesa;
        if (attesa >= 0) {
            const Params& q = m_attesa[size_t(attesa)].p;
            for (const int i : {3, 4, 6, 7, 9, 10, 11, 12})
                inAttesa << q[i].second;
        }
        Money imp, inc;
        if (!esistente.isEmpty() || attesa >= 0) {
            const QVector<QVariant>& memorizzato = attesa >= 0 ? inAttesa : esistente.rows[0];
            imp = importo.trimmed().isEmpty() ? memorizzato[0].value<Money>() : *valoreImporto;
            inc = incassato.trimmed().isEmpty() ? memorizzato[1].value<Money>() : *valoreIncassato;
            if (dataIncasso.isEmpty()) dataIncasso = memorizzato[2].toString();
            auto oMemorizzato = [&](QString& v, int colonna) {
                if (v.isEmpty()) v = memorizzato[colonna].toString().toUpper();
            };
            oMemorizzato(note, 3);
            oMemorizzato(mod, 4);
            oMemorizzato(nomeBanca, 5);
            oMemorizzato(destinatario, 6);
            oMemorizzato(nomeCliente, 7);
        } else {
            imp = *valoreImporto;
            inc = *valoreIncassato;
            // An electronic invoice without an account leaves the bank empty: another
            // account in the letter would send the client's money where the invoice never said.
            if (nomeBanca.trimmed().isEmpty() && !leggi.elettronica()) nomeBanca = m_primaBanca;
        }
        const Money residuo = imp - inc;
        const QString pagato = residuo == Money() ? QStringLiteral("SI")
                               : residuo == imp   ? QStringLiteral("NO")
                                                  : QStringLiteral("PARZ.");
        Params p;
        p.reserve(16);
        p << chiave;
        p << qMakePair(QStringLiteral("Importo"), QVariant::fromValue(imp))
          << qMakePair(QStringLiteral("Incassato"), QVariant::fromValue(inc))
          << qMakePair(QStringLiteral("Residuo"), QVariant::fromValue(residuo))
          << qMakePair(QStringLiteral("DataIncasso"), testoOVuoto(dataIncasso))
          << qMakePair(QStringLiteral("Note"), testoOVuoto(note))
          << qMakePair(QStringLiteral("Pagato"), QVariant(pagato))
          << qMakePair(QStringLiteral("ModalitaPagamento"), testoOVuoto(mod))
          << qMakePair(QStringLiteral("Banca"), testoOVuoto(nomeBanca))
          << qMakePair(QStringLiteral("DestinatarioFattura"), testoOVuoto(destinatario))
          << qMakePair(QStringLiteral("Cliente"), testoOVuoto(nomeCliente))
          << qMakePair(QStringLiteral("Stato"), QVariant(QStringLiteral("")))
          << qMakePair(QStringLiteral("ImportoTotale"), QVariant::fromValue(Money()));
        const bool inAttesaOra = attesa >= 0 || (nuova && !subito);
        if (attesa >= 0) {
            // The key stays as the waiting row wrote it, as an update leaves it.
            Params& q = m_attesa[size_t(attesa)].p;
            for (qsizetype i = 3; i < p.size(); ++i)
                q[i] = p[i];
        } else if (nuova && !subito) {
            // A new instalment of a register the run knows whole waits for the end of the
            // batch, so that it is written once, with its document's total when the batch
            // holds the whole document.
            posto->attesa = qsizetype(m_attesa.size());
            m_attesa.push_back({p, doc, rata, documento(doc)});
            m_disfa.push_back({Cosa::Attesa, doc, {}});
        } else if (esistente.isEmpty()) {
            inserisci.run(p);
            if (!doc.isEmpty()) m_registrati[size_t(documento(doc))] = true;
        } else {
            if (!doc.isEmpty()) m_registrati[size_t(documento(doc))] = true;
            p << qMakePair(QStringLiteral("ID"), QVariant());
            for (const QVector<QVariant>& memorizzata : esistente.rows) {
                if (uguale(memorizzata, p)) continue;
                p.last().second = memorizzata[10];
                aggiorna.run(p);
            }
        }

        // A waiting instalment's document is seen to when it is written.
        if (subito)
            totali(numero, df);
        else if (!inAttesaOra)
            tocca(numero, df);
        if (!clienteNoto(nomeCliente)) {
            nuovoCliente.run({{QStringLiteral("RagioneSociale"), nomeCliente}});
            impara(Cosa::Cliente, m_clienti, nomeCliente);
        }
        if (leggi.anagrafica()) {
            Params dati = {{QStringLiteral("RagioneSociale"), nomeCliente}};
            for (const char* campo : {"Indirizzo", "Localita", "CAP", "Provincia", "IVA", "CF", "TipoCliente"})
                dati << qMakePair(QLatin1String(campo),
                                  testoOVuoto(leggi(QStringLiteral("Cliente.") + QLatin1String(campo))));
            completaCliente.run(dati);
        }
        const QString modo = testoOVuoto(mod).toString();
        if (!modalitaNota(modo)) {
            nuovaModalita.run({{QStringLiteral("Modalita"), modo}});
            impara(Cosa::Modalita, m_modalita, modo);
        }
        return true;
    }

protected:
    void disfa(const Voce& v) override
    {
        switch (v.cosa) {
        case Cosa::Cliente: m_clienti.togli(v.testo); break;
        case Cosa::Modalita: m_modalita.togli(v.testo); break;
        case Cosa::Banca:
            // The name was new unless the register already gave it to another account.
            if (v.nuovo) m_banche.togli(v.testo);
            if (!m_conIban.isEmpty()) m_conIban.removeLast();
            break;
        case Cosa::Documento: m_toccati.remove(qMakePair(v.testo, v.data)); break;
        case Cosa::Rata: m_rate.remove(v.testo); break;
        case Cosa::Attesa: m_attesa.pop_back(); break;
        }
    }

private:
    // Writes the waiting instalments, in the order of their rows. At the end of a batch
    // (fine), a document none of whose instalments is in the register yet gets its total
    // and state as the waiting ones make them, and needs no computing afterwards.
    void scarica(bool fine)
    {
        if (m_attesa.empty()) return;
        struct Totale
        {
            qint64 somma = 0;
            bool aperta = false, troppo = false, usato = false;
        };
        std::vector<Totale> totali(fine ? m_registrati.size() : 0);
        for (const Attesa& a : m_attesa) {
            if (!fine || m_registrati[size_t(a.numero)]) continue;
            Totale& t = totali[size_t(a.numero)];
            t.usato = true;
            t.troppo = t.troppo || qAddOverflow(t.somma, qint64(a.p[3].second.value<Money>().raw()), &t.somma);
            t.aperta = t.aperta || a.p[8].second.toString() != QLatin1String("SI");
        }
        const auto calcolato = [&](const Attesa& a) {
            return fine && totali[size_t(a.numero)].usato && !totali[size_t(a.numero)].troppo;
        };
        for (Attesa& a : m_attesa) {
            if (calcolato(a)) {
                const Totale& t = totali[size_t(a.numero)];
                a.p[13].second = QVariant(t.aperta ? QStringLiteral("APERTA") : QStringLiteral("CHIUSA"));
                a.p[14].second = QVariant::fromValue(Money::fromRaw(t.somma));
            }
            inserisci.run(a.p);
        }
        for (const Attesa& a : m_attesa) {
            // Written without its document's total: computed with the others.
            if (!calcolato(a)) tocca(a.p[0].second.toString(), a.p[1].second.toDate());
            m_registrati[size_t(a.numero)] = true;
        }
        m_attesa.clear();
    }
    // The number of a document key, given the first time it is seen.
    qsizetype documento(const QString& doc)
    {
        const auto it = m_documenti.constFind(doc);
        if (it != m_documenti.cend()) return it.value();
        m_documenti.insert(doc, qsizetype(m_registrati.size()));
        m_registrati.push_back(false);
        return qsizetype(m_registrati.size()) - 1;
    }
    // The stored instalment (a row of trova) holds the values p would write: amounts stored
    // as the same integers, texts the same character for character (a change of letter case
    // is a change), an empty text not a missing one. Its totals are left to its document's.
    static bool uguale(const QVector<QVariant>& memorizzata, const Params& p)
    {
        if (memorizzata.value(11).toLongLong() != 1) return false;
        const auto importo = [&](int colonna, int parametro) {
            return memorizzata[colonna].value<Money>() == p[parametro].second.value<Money>();
        };
        const auto testo = [&](int colonna, int parametro) {
            const QVariant& v = memorizzata[colonna];
            return v.typeId() == QMetaType::QString && v.toString() == p[parametro].second.toString();
        };
        // The order of p: key, Importo, Incassato, Residuo, DataIncasso, Note, Pagato,
        // ModalitaPagamento, Banca, DestinatarioFattura, Cliente.
        return importo(0, 3) && importo(1, 4) && importo(8, 5) && testo(2, 6) && testo(3, 7) &&
               testo(9, 8) && testo(4, 9) && testo(5, 10) && testo(6, 11) && testo(7, 12);
    }
    void totali(const QString& numero, const QDate& data)
    {
        const Params documento = {{QStringLiteral("NumeroFattura"), numero},
                                  {QStringLiteral("DataFattura"), data}};
        const auto r = totaleEStato.run(documento);
        if (r.isEmpty() || r.rows[0].value(1).isNull()) return; // no instalment left
        Params p = documento;
        p << qMakePair(QStringLiteral("Totale"), r.rows[0].value(0))
          << qMakePair(QStringLiteral("Stato"), r.rows[0].value(1).toInt() != 0 ? QStringLiteral("APERTA")
                                                                                 : QStringLiteral("CHIUSA"));
        scriviTotale.run(p);
    }
    // Whether the register compares the name as the folded sets do; any other is asked of
    // the register itself.
    bool piegabile(const QString& nome) const { return conn.dialect().foldsAsCompareText(nome); }
    // A name of the register, put in its set when the set can hold it.
    bool conosci(Nomi& nomi, const QString& nome) const
    {
        if (piegabile(nome)) return nomi.aggiungi(nome);
        nomi.segnaIncompleto();
        return false;
    }
    // The set's answer when it has one, else the register's.
    bool noto(const Nomi& nomi, const QString& nome, sz::db::Statement& cerca, const QString& colonna)
    {
        if (piegabile(nome) && (!nomi.incompleto() || nomi.contiene(nome))) return nomi.contiene(nome);
        return !cerca.run({{colonna, nome}}).isEmpty();
    }
    bool bancaNota(const QString& nome) { return noto(m_banche, nome, banca, QStringLiteral("Banca")); }
    bool clienteNoto(const QString& nome)
    {
        return noto(m_clienti, nome, cliente, QStringLiteral("RagioneSociale"));
    }
    bool modalitaNota(const QString& nome) { return noto(m_modalita, nome, modalita, QStringLiteral("Modalita")); }
    // A name the register has just gained; forgotten again if its row is rolled back.
    void impara(Cosa cosa, Nomi& nomi, const QString& nome)
    {
        if (conosci(nomi, nome)) m_disfa.push_back({cosa, nome, {}});
    }
    void tocca(const QString& numero, const QDate& data)
    {
        const qsizetype prima = m_toccati.size();
        m_toccati.insert(qMakePair(numero, data));
        if (m_toccati.size() != prima) m_disfa.push_back({Cosa::Documento, numero, data});
    }

    // The bank of the register holding the IBAN; a bank added under the proposed name (the
    // invoice's IstitutoFinanziario, else "IBAN " and the IBAN) when none does.
    QString bancaDi(const QString& iban, const QString& proposto, const QString& documento,
                    QStringList& avvisi)
    {
        for (const auto& [nome, suo] : std::as_const(m_conIban))
            if (suo == iban) return nome;
        QString nome = proposto.trimmed();
        // A name the register gives another account would lead a letter to that account.
        if (nome.isEmpty() || bancaNota(nome)) nome = QStringLiteral("IBAN ") + iban;
        nuovaBanca.run({{QStringLiteral("Nome"), nome}, {QStringLiteral("IBAN"), iban}});
        // Undone as one: the name (when it was new) and its account.
        const bool nuovo = conosci(m_banche, nome);
        m_conIban << qMakePair(nome, iban);
        m_disfa.push_back({Cosa::Banca, nome, {}, nuovo});
        avvisi << QStringLiteral("Aggiunta all'anagrafica banche la banca %1 (IBAN %2) del documento N° %3.")
                      .arg(nome, iban, documento);
        return nome;
    }

    sz::db::Connection& conn;
    const int numeroC, dataFatturaC, scadenzaC, importoC, incassatoC, dataIncassoC, modalitaC, destinatarioC,
        clienteC, bancaC, noteC, ibanC;
    sz::db::Statement banca, nuovaBanca, trova, aggiorna, inserisci, totaleEStato, scriviTotale, cliente,
        nuovoCliente, completaCliente, modalita, nuovaModalita;
    Nomi m_banche, m_clienti, m_modalita;
    QList<QPair<QString, QString>> m_conIban; // name, IBAN as compared; in the order of the register
    QString m_primaBanca;                     // what a new instalment without a bank gets
    QSet<QPair<QString, QDate>> m_toccati;    // documents whose totals wait for the end of the batch
    bool m_caricato = false;                  // the lookups were read once already
    bool m_soloRate = false;                  // every instalment of the register is in m_rate
    // Keys of the instalments this run wrote, each with its place among the waiting ones
    // (a place a later batch gave another key means it is in the register).
    struct Posto
    {
        static constexpr qsizetype Nuova = -2;
        qsizetype attesa = Nuova;
    };
    QHash<QString, Posto> m_rate;
    struct Attesa
    {
        Params p;
        QString doc, rata;
        qsizetype numero; // of the document, in m_registrati
    };
    std::vector<Attesa> m_attesa;           // new instalments waiting for the end of the batch
    QHash<QString, qsizetype> m_documenti;  // document keys seen, by number
    std::vector<bool> m_registrati;         // by document number: has instalments in the register
};

// A value of the row that the table refused: a required value missing, a duplicate, or a
// check of the table (a text past its column's width), which the engine reports as a
// plain error of the statement (SQLITE_ERROR). The statements are prepared before the first
// row, so a statement that cannot run at all has already stopped the run.
bool colpaDellaRiga(const sz::db::DatabaseError& e)
{
    return e.fault() == sz::db::DatabaseError::Fault::Constraint || (e.engineCode() & 0xff) == 1;
}

// The run looks rows up and writes them at scattered places of the instalments' index: with
// the engine's small default page cache every lookup would read and decrypt its pages
// again. A larger cache for the run's connection, and the connection's own again after it.
class CachePagine
{
public:
    explicit CachePagine(sz::db::Connection& c) : conn(c)
    {
        try {
            prima = conn.enlargeCache(KiB);
        } catch (const sz::Error&) {
            prima.reset();
        }
    }
    ~CachePagine()
    {
        try {
            if (prima) conn.restoreCache(*prima);
        } catch (...) {
        }
    }
    CachePagine(const CachePagine&) = delete;
    CachePagine& operator=(const CachePagine&) = delete;

private:
    static constexpr int KiB = 65536;
    sz::db::Connection& conn;
    std::optional<qlonglong> prima;
};

} // namespace

// Rows run in batches, one transaction each, in which rows write without a savepoint of
// their own and the totals of the documents they touch are computed once, at the end.
// When a row fails, the batch is rolled back and its rows run again one by one, each in
// its own savepoint with its totals at once, as a lone row would: the row at fault is
// refused alone (or stops the run), the rows before it land, and the batch is committed
// there; the next rows open a new one. (A savepoint over the batch would cost a second
// encrypted copy of every page the batch changes.)
Esito importa(sz::db::Connection& conn, Tipo tipo, const Griglia& griglia, const Colonne& colonne,
              const std::atomic<bool>& annulla, const Avanzamento& avanzamento)
{
    Esito esito;
    const int totaleRighe = std::max(0, griglia.righe() - 1);
    const CachePagine cache(conn);
    Lettore leggi(griglia, colonne);
    std::unique_ptr<Righe> righe;
    if (tipo == Tipo::Clienti)
        righe = std::make_unique<Clienti>(conn);
    else
        righe = std::make_unique<Fatture>(conn, leggi);
    bool aperta = false; // the batch's transaction
    // A row running without a savepoint of its own: should it fail, only rolling the
    // batch back undoes its half.
    bool inCorso = false;
    // The first row of the open batch, and what the run had counted when it opened.
    int inizio = 1;
    qsizetype erroriPrima = 0, avvisiPrima = 0;
    int scrittePrima = 0;
    // The engine's count of the file's changes by other connections when the lookups were
    // read: another connection's client or bank is seen before the next batch.
    std::optional<qint64> versione;
    // Rows and summary lines of the transactions committed so far.
    int confermate = 0;
    qsizetype avvisiConfermati = 0;
    int corrente = 1; // the row in progress, for the message of a run that stops
    int ultima = 0;   // the last row run in the open batch

    auto annullaTutto = [&] {
        try {
            if (conn.inTransaction()) conn.exec(QStringLiteral("ROLLBACK"));
        } catch (const sz::Error&) {
        }
        aperta = false;
    };
    // Undoes a row run in its own savepoint. When even that fails (the engine may have
    // rolled the whole transaction back), the open batch goes too and the answer is false:
    // a row is written whole or not at all.
    auto annullaRiga = [&](size_t segno) -> bool {
        try {
            conn.exec(QStringLiteral("ROLLBACK TO riga"));
            conn.exec(QStringLiteral("RELEASE riga"));
            righe->ripristina(segno);
            return true;
        } catch (const sz::Error&) {
            annullaTutto();
            return false;
        }
    };
    auto apri = [&](int n) {
        conn.exec(conn.dialect().beginWrite());
        aperta = true;
        inizio = n;
        erroriPrima = esito.errori.size();
        avvisiPrima = esito.avvisi.size();
        scrittePrima = esito.scritte;
        righe->dimentica();
        const qint64 v = conn.dataVersion();
        if (versione != v) {
            righe->carica();
            versione = v;
        }
    };
    // Row n: in the open batch (subito = false) or in a savepoint of its own.
    auto esegui = [&](int n, bool subito) {
        corrente = n;
        leggi.riga = n;
        const QString illeggibile = nonLette(leggi, tipo, n);
        if (!illeggibile.isEmpty()) {
            esito.errori << illeggibile;
            return;
        }
        if (!aperta) apri(n);
        QStringList avvisi;
        bool scritta = false;
        if (!subito) {
            ultima = n;
            inCorso = true;
            scritta = righe->riga(leggi, n, esito.errori, avvisi, false);
            inCorso = false;
        } else {
            conn.exec(QStringLiteral("SAVEPOINT riga"));
            const size_t segno = righe->segno();
            try {
                scritta = righe->riga(leggi, n, esito.errori, avvisi, true);
                conn.exec(QStringLiteral("RELEASE riga"));
            } catch (const sz::db::DatabaseError& e) {
                if (!annullaRiga(segno) || !colpaDellaRiga(e)) throw;
                esito.errori << riga(n) + e.message();
                scritta = false;
                avvisi.clear();
            } catch (...) {
                annullaRiga(segno);
                throw;
            }
        }
        if (scritta) ++esito.scritte;
        esito.avvisi << avvisi;
    };
    auto chiudi = [&] {
        if (aperta) {
            righe->ricalcola();
            conn.exec(QStringLiteral("COMMIT"));
            aperta = false;
        }
        confermate = esito.scritte;
        avvisiConfermati = esito.avvisi.size();
    };
    // The open batch failed at its row fine (or at its end): rolled back, its rows again
    // one by one in a new transaction, committed. When it cannot be rolled back, the
    // failure stops the run.
    auto ripeti = [&](int fine, const std::exception_ptr& guasto) {
        try {
            conn.exec(QStringLiteral("ROLLBACK"));
        } catch (const sz::Error&) {
            annullaTutto();
            std::rethrow_exception(guasto);
        }
        aperta = inCorso = false;
        righe->ripristina(0);
        esito.errori.resize(erroriPrima);
        esito.avvisi.resize(avvisiPrima);
        esito.scritte = scrittePrima;
        for (int k = inizio; k <= fine; ++k)
            esegui(k, true);
        chiudi();
    };
    // The run stops at row r: what the open batch holds is kept when it can still be
    // committed whole, with the totals of its documents right. The engine may already
    // have rolled it back (a full disk does).
    auto ferma = [&](int r, const QString& motivo, bool discoPieno) {
        bool salvata = false;
        if (conn.inTransaction() && aperta && !inCorso) {
            try {
                righe->ricalcola();
                conn.exec(QStringLiteral("COMMIT"));
                salvata = true;
            } catch (const sz::Error&) {
            } catch (const std::bad_alloc&) {
            }
        }
        if (!salvata) annullaTutto();
        aperta = inCorso = false;
        if (salvata) {
            confermate = esito.scritte;
        } else {
            esito.scritte = confermate;
            esito.avvisi.resize(avvisiConfermati);
        }
        esito.guasto =
            discoPieno
                ? QStringLiteral(
                      "il disco che contiene il database è pieno: l'importazione si è fermata alla "
                      "riga %1 e le righe scritte sono %2. Liberare spazio sul disco e ripetere "
                      "l'importazione: le righe già scritte vengono aggiornate, non duplicate")
                      .arg(r)
                      .arg(esito.scritte)
                : QStringLiteral("RIGA %1: %2 (righe scritte: %3)").arg(r).arg(motivo).arg(esito.scritte);
    };
    try {
        for (int r = 1; r <= totaleRighe; ++r) {
            if (annulla.load()) {
                esito.annullata = true;
                break;
            }
            try {
                esegui(r, false);
            } catch (...) {
                // A row refused before it wrote, or a batch that could not even begin, has
                // nothing to undo.
                if (!aperta) throw;
                ripeti(r, std::current_exception());
            }
            if (fineLotto(r)) {
                try {
                    chiudi();
                } catch (...) {
                    if (!aperta) throw;
                    ripeti(ultima, std::current_exception());
                }
            }
            if (avanzamento) avanzamento(r, totaleRighe);
        }
        try {
            chiudi();
        } catch (...) {
            if (!aperta) throw;
            ripeti(ultima, std::current_exception());
        }
    } catch (const sz::db::DatabaseError& e) {
        ferma(corrente, e.message(), e.fault() == sz::db::DatabaseError::Fault::Full);
    } catch (const sz::Error& e) {
        ferma(corrente, e.message(), false);
    } catch (const std::bad_alloc&) {
        ferma(corrente, QStringLiteral("memoria esaurita"), false);
    }
    return esito;
}

// ---- safety copy -----------------------------------------------------------------------

QString percorsoCopia(const QString& dataRoot)
{
    return dataRoot + QStringLiteral("DB/Ripristino/gestionale.mdb");
}

void copiaDiSicurezza(sz::db::Connection& conn, const QString& dataRoot)
{
    conn.backupTo(percorsoCopia(dataRoot));
}

void ripristina(sz::db::Connection& conn, const QString& dataRoot)
{
    const QString copia = percorsoCopia(dataRoot);
    if (!QFileInfo::exists(copia))
        throw Error(
            QStringLiteral("La copia di ripristino \"%1\" non esiste.").arg(QDir::toNativeSeparators(copia)));
    conn.restoreFrom(copia);
}

} // namespace sz::importazione
