#include "ImportazioneLogic.h"

#include "scadenzio/sheets/Readers.h"

#include "scadenzio/Dates.h"
#include "scadenzio/Error.h"
#include "scadenzio/Money.h"

#include <QDir>
#include <QFileInfo>

#include <limits>

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
        c.griglia = grigliaDa(f.righe);
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

const QString sqlParametri = QStringLiteral(
    "SELECT * FROM t_parametriImportazioni WHERE TipologiaImportazione = :TipologiaImportazione");

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
        QStringLiteral("SELECT * FROM %1 WHERE IDParametriImportazioni = :ID").arg(tabellaMappatura(tipo)),
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
        conn.query(QStringLiteral("SELECT ID FROM %1 WHERE IDParametriImportazioni = :ID").arg(tabella),
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
                    if (riga[col].compare(scelta, Qt::CaseInsensitive) == 0) {
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

// Rows between two commits: one sync per thousand rows instead of one per row.
constexpr int RighePerTransazione = 1000;

struct Lettore
{
    const Griglia& g;
    const Colonne& colonne;
    int riga = 0;
    // The cell of a field without control characters: notes keep their line breaks.
    QString operator()(const QString& campo) const
    {
        return senzaControlli(grezzo(campo), campo == QLatin1String("Note"));
    }
    // The cell as the file gave it.
    QString grezzo(const QString& campo) const
    {
        const int c = colonne.value(campo, -1);
        return c < 0 ? QString() : g.cella(riga, c);
    }
    // The grid carries the client registry data of its documents (electronic invoices).
    bool anagrafica() const { return colonne.value(QStringLiteral("Cliente.IVA"), -1) >= 0; }
    // The grid is one of electronic invoices, whose instalments name their bank by IBAN.
    bool elettronica() const { return colonne.value(QStringLiteral("Banca.IBAN"), -1) >= 0; }
};

// The mapped fields of this row whose cells the reader could not read: one line, or empty.
QString nonLette(const Lettore& leggi, Tipo tipo, int n)
{
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

struct Istruzioni
{
    explicit Istruzioni(sz::db::Connection& c) : conn(c) {}
    sz::db::Connection& conn;
    std::unique_ptr<sz::db::Statement> prepara(const char* sql)
    {
        return std::make_unique<sz::db::Statement>(conn, QString::fromUtf8(sql));
    }
};

QVariant testoOVuoto(const QString& s)
{
    return QVariant(s.isNull() ? QStringLiteral("") : s);
}

class Clienti
{
public:
    explicit Clienti(sz::db::Connection& c)
        : trova(c, QStringLiteral("SELECT * FROM t_clienti WHERE RagioneSociale = :RagioneSociale")),
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

    // false with the row's messages when it is refused.
    bool riga(const Lettore& leggi, int n, QStringList& errori, QStringList&)
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

class Fatture
{
public:
    explicit Fatture(sz::db::Connection& c)
        : banca(c, QStringLiteral("SELECT Nome FROM t_banche WHERE Nome = :Banca")),
          primaBanca(c, QStringLiteral("SELECT Nome FROM t_banche ORDER BY ID LIMIT 1")),
          banche(c, QStringLiteral("SELECT Nome, IBAN FROM t_banche WHERE IBAN IS NOT NULL ORDER BY ID")),
          nuovaBanca(c, QStringLiteral("INSERT INTO t_banche (Nome, IBAN) VALUES (:Nome, :IBAN)")),
          trova(c, QStringLiteral(
                       "SELECT * FROM t_crediti WHERE NumeroFattura = :NumeroFattura AND DataFattura = "
                       ":DataFattura AND Scadenza = :Scadenza ORDER BY Scadenza, ID")),
          aggiorna(
              c,
              QStringLiteral(
                  "UPDATE t_crediti SET Importo = :Importo, Incassato = :Incassato, Residuo = :Residuo, "
                  "DataIncasso = :DataIncasso, Note = :Note, Pagato = :Pagato, ModalitaPagamento = "
                  ":ModalitaPagamento, Banca = :Banca, DestinatarioFattura = :DestinatarioFattura, Cliente = "
                  ":Cliente, Stato = :Stato, ImportoTotale = :ImportoTotale WHERE NumeroFattura = "
                  ":NumeroFattura AND DataFattura = :DataFattura AND Scadenza = :Scadenza")),
          inserisci(
              c,
              QStringLiteral(
                  "INSERT INTO t_crediti (NumeroFattura, DataFattura, Scadenza, Importo, Incassato, Residuo, "
                  "DataIncasso, Note, Pagato, ModalitaPagamento, Banca, DestinatarioFattura, Cliente, Stato, "
                  "ImportoTotale) VALUES (:NumeroFattura, :DataFattura, :Scadenza, :Importo, :Incassato, "
                  ":Residuo, :DataIncasso, :Note, :Pagato, :ModalitaPagamento, :Banca, :DestinatarioFattura, "
                  ":Cliente, :Stato, :ImportoTotale)")),
          totale(c, QStringLiteral(
                        "UPDATE t_crediti SET ImportoTotale = (SELECT SUM(Importo) FROM t_crediti t WHERE "
                        "t.NumeroFattura = :NumeroFattura AND t.DataFattura = :DataFattura) WHERE "
                        "NumeroFattura = :NumeroFattura AND DataFattura = :DataFattura")),
          stato(c, QStringLiteral(
                       "UPDATE t_crediti SET Stato = CASE WHEN EXISTS (SELECT 1 FROM t_crediti t WHERE "
                       "t.NumeroFattura = :NumeroFattura AND t.DataFattura = :DataFattura AND "
                       "(t.Pagato IS NULL OR t.Pagato <> 'SI')) THEN 'APERTA' ELSE 'CHIUSA' END WHERE "
                       "NumeroFattura = :NumeroFattura AND DataFattura = :DataFattura")),
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
                     "CF = CASE WHEN IFNULL(TRIM(CF), '') = '' AND :CF <> '' THEN :CF ELSE CF END "
                     "WHERE RagioneSociale = :RagioneSociale")),
          modalita(c, QStringLiteral("SELECT ID FROM t_parametri WHERE Modalita = :Modalita")),
          nuovaModalita(
              c, QStringLiteral("INSERT INTO t_parametri (Modalita, Preavviso, Sollecito1, Sollecito2, "
                                "Sollecito3) VALUES (:Modalita, 0, 5, 15, 30)"))
    {
    }

    bool riga(const Lettore& leggi, int n, QStringList& errori, QStringList& avvisi)
    {
        QString numero = leggi(QStringLiteral("NumeroFattura"));
        QString dataFattura = leggi(QStringLiteral("DataFattura")).remove(QLatin1Char('\''));
        QString scadenza = leggi(QStringLiteral("Scadenza")).remove(QLatin1Char('\''));
        QString importo = leggi(QStringLiteral("Importo")).remove(QLatin1Char('.'));
        QString incassato = leggi(QStringLiteral("ImportoIncassato")).remove(QLatin1Char('.'));
        QString dataIncasso = leggi(QStringLiteral("DataIncasso"));
        QString mod = leggi(QStringLiteral("ModalitaPagamento"));
        QString destinatario = leggi(QStringLiteral("DestinatarioFattura"));
        QString nomeCliente = leggi(QStringLiteral("Cliente"));
        QString nomeBanca = leggi(QStringLiteral("Banca"));
        QString note = leggi(QStringLiteral("Note"));
        if (destinatario.isEmpty()) destinatario = nomeCliente;
        if (nomeCliente.isEmpty()) nomeCliente = destinatario;
        // An electronic invoice names the account to pay into by its IBAN: that is the bank,
        // whatever its name, and the register gains it when it lacks it.
        const QString iban =
            leggi.elettronica() ? ibanNormalizzato(leggi(QStringLiteral("Banca.IBAN"))) : QString();

        const bool bancaMancante = !nomeBanca.isEmpty() && iban.isEmpty() &&
                                   banca.run({{QStringLiteral("Banca"), nomeBanca}}).isEmpty();
        const QDate df = leggiData(dataFattura), sc = leggiData(scadenza);
        // An amount whose digits pass but that is no amount ("12,3,4") is refused here
        // with the amount's message rather than ending the whole run.
        const auto valore = [](const QString& t) {
            return t.trimmed().isEmpty() ? std::optional<Money>(Money()) : Money::parse(t);
        };
        const bool importoErrato = !importo.isEmpty() && (!importoValido(importo) || !valore(importo));
        const bool incassatoErrato =
            !incassato.isEmpty() && (!importoValido(incassato) || !valore(incassato));
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
        const auto esistente = trova.run(chiave);
        Money imp, inc;
        if (!esistente.isEmpty()) {
            auto memorizzato = [&](const char* col) { return esistente.value(0, QLatin1String(col)); };
            imp = importo.trimmed().isEmpty() ? memorizzato("Importo").value<Money>() : *valore(importo);
            inc =
                incassato.trimmed().isEmpty() ? memorizzato("Incassato").value<Money>() : *valore(incassato);
            if (dataIncasso.isEmpty()) dataIncasso = memorizzato("DataIncasso").toString();
            auto oMemorizzato = [&](QString& v, const char* col) {
                if (v.isEmpty()) v = memorizzato(col).toString().toUpper();
            };
            oMemorizzato(note, "Note");
            oMemorizzato(mod, "ModalitaPagamento");
            oMemorizzato(nomeBanca, "Banca");
            oMemorizzato(destinatario, "DestinatarioFattura");
            oMemorizzato(nomeCliente, "Cliente");
        } else {
            imp = *valore(importo);
            inc = *valore(incassato);
            // An electronic invoice without an account leaves the bank empty: another
            // account in the letter would send the client's money where the invoice never said.
            if (nomeBanca.trimmed().isEmpty() && !leggi.elettronica()) {
                const auto prima = primaBanca.run();
                nomeBanca = prima.isEmpty() ? QString() : prima.rows[0][0].toString();
            }
        }
        const Money residuo = imp - inc;
        const QString pagato = residuo == Money() ? QStringLiteral("SI")
                               : residuo == imp   ? QStringLiteral("NO")
                                                  : QStringLiteral("PARZ.");
        Params p = chiave;
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
        (esistente.isEmpty() ? inserisci : aggiorna).run(p);

        const Params fattura = {chiave[0], chiave[1]};
        totale.run(fattura);
        stato.run(fattura);
        if (cliente.run({{QStringLiteral("RagioneSociale"), nomeCliente}}).isEmpty())
            nuovoCliente.run({{QStringLiteral("RagioneSociale"), nomeCliente}});
        if (leggi.anagrafica()) {
            Params dati = {{QStringLiteral("RagioneSociale"), nomeCliente}};
            for (const char* campo : {"Indirizzo", "Localita", "CAP", "Provincia", "IVA", "CF"})
                dati << qMakePair(QLatin1String(campo),
                                  testoOVuoto(leggi(QStringLiteral("Cliente.") + QLatin1String(campo))));
            completaCliente.run(dati);
        }
        if (modalita.run({{QStringLiteral("Modalita"), testoOVuoto(mod)}}).isEmpty())
            nuovaModalita.run({{QStringLiteral("Modalita"), testoOVuoto(mod)}});
        return true;
    }

private:
    // The bank of the register holding the IBAN; a bank added under the proposed name (the
    // invoice's IstitutoFinanziario, else "IBAN " and the IBAN) when none does.
    QString bancaDi(const QString& iban, const QString& proposto, const QString& documento,
                    QStringList& avvisi)
    {
        for (const auto& r : banche.run().rows)
            if (ibanNormalizzato(r.value(1).toString()) == iban) return r.value(0).toString();
        QString nome = proposto.trimmed();
        // A name the register gives another account would lead a letter to that account.
        if (nome.isEmpty() || !banca.run({{QStringLiteral("Banca"), nome}}).isEmpty())
            nome = QStringLiteral("IBAN ") + iban;
        nuovaBanca.run({{QStringLiteral("Nome"), nome}, {QStringLiteral("IBAN"), iban}});
        avvisi << QStringLiteral("Aggiunta all'anagrafica banche la banca %1 (IBAN %2) del documento N° %3.")
                      .arg(nome, iban, documento);
        return nome;
    }

    sz::db::Statement banca, primaBanca, banche, nuovaBanca, trova, aggiorna, inserisci, totale, stato,
        cliente, nuovoCliente, completaCliente, modalita, nuovaModalita;
};

} // namespace

namespace {

// A value of the row that the table refused: a required value missing, a duplicate, or a
// check of the table (a text past its column's width), which the engine reports as a
// plain error of the statement (SQLITE_ERROR). The statements are prepared before the first
// row, so a statement that cannot run at all has already stopped the run.
bool colpaDellaRiga(const sz::db::DatabaseError& e)
{
    return e.fault() == sz::db::DatabaseError::Fault::Constraint || (e.engineCode() & 0xff) == 1;
}

} // namespace

Esito importa(sz::db::Connection& conn, Tipo tipo, const Griglia& griglia, const Colonne& colonne,
              const std::atomic<bool>& annulla, const Avanzamento& avanzamento)
{
    Esito esito;
    const int totaleRighe = std::max(0, griglia.righe() - 1);
    std::unique_ptr<Clienti> clienti;
    std::unique_ptr<Fatture> fatture;
    if (tipo == Tipo::Clienti)
        clienti = std::make_unique<Clienti>(conn);
    else
        fatture = std::make_unique<Fatture>(conn);
    Lettore leggi{griglia, colonne};
    bool aperta = false;
    // Rows and summary lines of the transactions committed so far.
    int confermate = 0;
    qsizetype avvisiConfermati = 0;
    auto chiudi = [&] {
        if (aperta) {
            aperta = false;
            conn.exec(QStringLiteral("COMMIT"));
        }
        confermate = esito.scritte;
        avvisiConfermati = esito.avvisi.size();
    };
    // Undoes the row in progress. When even that fails (the engine may have rolled the
    // whole transaction back), the open batch goes too and the answer is false: a row is
    // written whole or not at all.
    auto annullaRiga = [&]() -> bool {
        try {
            conn.exec(QStringLiteral("ROLLBACK TO riga"));
            conn.exec(QStringLiteral("RELEASE riga"));
            return true;
        } catch (const sz::Error&) {
            try {
                if (conn.inTransaction()) conn.exec(QStringLiteral("ROLLBACK"));
            } catch (const sz::Error&) {
            }
            aperta = false;
            return false;
        }
    };
    // The run stops at row r: what the open batch holds is kept when it can still be
    // committed. The engine may already have rolled it back (a full disk does).
    auto ferma = [&](int r, const QString& motivo, bool discoPieno) {
        bool salvata = false;
        if (conn.inTransaction()) {
            try {
                conn.exec(QStringLiteral("COMMIT"));
                salvata = true;
            } catch (const sz::Error&) {
                try {
                    if (conn.inTransaction()) conn.exec(QStringLiteral("ROLLBACK"));
                } catch (const sz::Error&) {
                }
            }
        }
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
    int r = 1;
    try {
        for (; r <= totaleRighe; ++r) {
            if (annulla.load()) {
                esito.annullata = true;
                break;
            }
            leggi.riga = r;
            const QString illeggibile = nonLette(leggi, tipo, r);
            if (!illeggibile.isEmpty()) {
                esito.errori << illeggibile;
            } else {
                if (!aperta) {
                    conn.exec(QStringLiteral("BEGIN IMMEDIATE"));
                    aperta = true;
                }
                conn.exec(QStringLiteral("SAVEPOINT riga"));
                bool scritta = false;
                QStringList avvisi;
                try {
                    scritta = clienti ? clienti->riga(leggi, r, esito.errori, avvisi)
                                      : fatture->riga(leggi, r, esito.errori, avvisi);
                    conn.exec(QStringLiteral("RELEASE riga"));
                } catch (const sz::db::DatabaseError& e) {
                    if (!annullaRiga() || !colpaDellaRiga(e)) throw;
                    esito.errori << riga(r) + e.message();
                    scritta = false;
                    avvisi.clear();
                } catch (...) {
                    annullaRiga();
                    throw;
                }
                if (scritta) ++esito.scritte;
                esito.avvisi << avvisi;
            }
            if (r % RighePerTransazione == 0) chiudi();
            if (avanzamento) avanzamento(r, totaleRighe);
        }
        r = std::min(r, totaleRighe);
        chiudi();
    } catch (const sz::db::DatabaseError& e) {
        ferma(r, e.message(), e.fault() == sz::db::DatabaseError::Fault::Full);
    } catch (const sz::Error& e) {
        ferma(r, e.message(), false);
    } catch (const std::bad_alloc&) {
        ferma(r, QStringLiteral("memoria esaurita"), false);
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
