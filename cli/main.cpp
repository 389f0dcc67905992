#include "CliDemo.h"
#include "CliDunning.h"
#include "CliImport.h"
#include "CliMail.h"
#include "CliMigrate.h"
#include "CliPec.h"
#include "CliReport.h"
#include "CliSchedule.h"
#include "CliSql.h"
#include "SqlAmounts.h"
#include "ScadenzioVersion.h"
#include "Startup.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringDecoder>
#include <cstdio>
#include <memory>

namespace {

void printOut(const QString& s)
{
    const QByteArray b = s.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    std::fflush(stdout);
}

void printErr(const QString& s)
{
    const QByteArray b = (s + QLatin1Char('\n')).toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
    std::fflush(stderr);
}

int usage()
{
    printErr(QStringLiteral(
        "Uso:\n"
        "  scadenzio-cli --version\n"
        "      mostra la versione del programma\n"
        "  scadenzio-cli upgrade\n"
        "      installa i file mancanti, esegue il backup e aggiorna la struttura del database\n"
        "  scadenzio-cli sql \"ISTRUZIONE\" [NOME=VALORE ...]\n"
        "      esegue un'istruzione sul database configurato; i valori sono parametri con nome\n"
        "      (NOME:int=, NOME:money=, NOME:date=gg/mm/aaaa, NOME:null= per valori tipizzati);\n"
        "      gli importi si danno solo come NOME:money=1.234,50 e si leggono in euro\n"
        "  scadenzio-cli dunning list [--per-client [--client NOME]] [--xlsx FILE] [--csv FILE]\n"
        "      elenca i crediti da sollecitare oggi (per documento, o per cliente), anche in un foglio di calcolo\n"
        "  scadenzio-cli dunning pdf [--per-client] ID...\n"
        "      crea le lettere dei crediti indicati nell'archivio e registra la fase\n"
        "  scadenzio-cli dunning send [--per-client] ID...\n"
        "      come pdf, e invia ogni lettera per email al cliente\n"
        "  scadenzio-cli dunning suspend (--client NOME | --credit ID) [--fino gg/mm/aaaa] --motivo TESTO\n"
        "      sospende i solleciti del cliente o del credito (fino alla data, se indicata)\n"
        "  scadenzio-cli dunning resume (--client NOME | --credit ID)\n"
        "      riprende i solleciti del cliente o del credito\n"
        "  scadenzio-cli dunning run [--per-client|--per-document] [--send|--pdf-only] [--dry-run] [--timer]\n"
        "      crea (e invia) tutte le lettere dovute oggi, una sola volta per credito al giorno\n"
        "  scadenzio-cli dunning runs [--last N]\n"
        "      elenca le esecuzioni degli invii, con le righe di errore\n"
        "  scadenzio-cli schedule install --at HH:MM [--per-client] [--pdf-only] | remove | status\n"
        "      programma (o toglie) l'invio automatico dei solleciti ogni giorno lavorativo all'ora indicata\n"
        "  scadenzio-cli mail test\n"
        "      invia la mail di prova alla mail in uso con le impostazioni salvate\n"
        "  scadenzio-cli report issued [--elenco ultime|tutte] [--dal gg/mm/aaaa] [--al gg/mm/aaaa]\n"
        "                              [--tipo Tutte|Preavviso|Sollecito1|Sollecito2|Sollecito3]\n"
        "                              [--cliente TESTO] [--pdf FILE] [--xlsx FILE] [--csv FILE]\n"
        "      elenca i documenti per cui è stata emessa una comunicazione (con --elenco tutte ogni\n"
        "      comunicazione registrata), con --pdf ne stampa l'elenco\n"
        "  scadenzio-cli letters preview TIPOLOGIA --pdf FILE\n"
        "      scrive in FILE l'anteprima di prova della comunicazione di quella tipologia\n"
        "  scadenzio-cli letters log [--credit ID] [--client NOME] [--dal gg/mm/aaaa] [--al gg/mm/aaaa]\n"
        "                            [--xlsx FILE] [--csv FILE]\n"
        "      elenca le comunicazioni create e inviate, con canale ed esito\n"
        "  scadenzio-cli pec receipts [FILE.eml...]\n"
        "      legge le ricevute PEC arrivate nella casella PEC (IMAP) o, se indicati, i file salvati, le abbina\n"
        "      alle comunicazioni inviate e le archivia accanto al PDF\n"
        "  scadenzio-cli pec status [ID...]\n"
        "      mostra lo stato di consegna di ogni comunicazione inviata per posta (o di quelle indicate)\n"
        "  scadenzio-cli interest ID... [--al gg/mm/aaaa]\n"
        "      calcola gli interessi di mora dei crediti fino alla data (oggi se non indicata), per periodo,\n"
        "      con l'indennizzo di € 40,00 per documento e i totali\n"
        "  scadenzio-cli demo\n"
        "      carica in un database vuoto una ditta dimostrativa: clienti, crediti in ogni fase e comunicazioni\n"
        "  scadenzio-cli import clients|invoices FILE [--delimiter ';'|','|tab|CARATTERE] [--map CAMPO=INTESTAZIONE ...]\n"
        "      importa anagrafiche o documenti da un file .csv/.txt/.xls/.xlsx/.ods con la mappatura salvata (o quella data)\n"
        "  scadenzio-cli import invoices FATTURA.xml|.p7m|.zip ...\n"
        "      importa le fatture elettroniche emesse: rate, scadenze, importi e dati dei clienti\n"
        "  scadenzio-cli import restore\n"
        "      riporta il database alla copia fatta prima dell'ultima importazione\n"
        "  scadenzio-cli migrate --to postgresql://UTENTE@SERVER:5432/DATABASE\n"
        "      copia il database cifrato in uso in un database PostgreSQL vuoto, confronta righe e importi\n"
        "      tabella per tabella e solo se coincidono fa usare il server (strConn di Config.ini)\n"
        "  scadenzio-cli migrate --from postgresql://UTENTE@SERVER:5432/DATABASE [--file PERCORSO]\n"
        "      copia il database del server in un nuovo file cifrato (accanto a quello in uso), con gli stessi\n"
        "      controlli, e lo fa usare"));
    return 2;
}

int runUpgrade()
{
    try {
        sz::startup::installDefaults();
        bool failed = false;
        sz::startup::Progress progress;
        progress.step = [](const QString& text, int) { printOut(text + QLatin1Char('\n')); };
        progress.error = [&failed](const QString& message) {
            failed = true;
            printErr(message);
        };
        sz::startup::Execute(progress);
        return failed ? 1 : 0;
    } catch (const sz::Error& e) {
        printErr(sz::commonErrorMessage(e.message()));
        return 1;
    }
}

int runSql(const QStringList& args)
{
    if (args.isEmpty())
        return usage();
    try {
        const sz::db::Params params = sz::cli::parseParams(args.mid(1));
        sz::db::Connection conn(sz::paths::LoadConnection());
        const sz::cli::SqlAmounts amounts(conn, args.first(), params);
        sz::db::Result r = conn.query(args.first(), params);
        amounts.toEuros(r);
        printOut(sz::cli::formatResult(r));
        return 0;
    } catch (const sz::Error& e) {
        printErr(e.message());
        return 1;
    }
}

} // namespace

// Scripts read standard error as the run's error lines: Qt's own notes (a missing
// runtime folder, font fallbacks) would read as failures there.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg || qEnvironmentVariableIsSet("SZ_CLI_DEBUG"))
        printErr(message);
}

int main(int argc, char** argv)
{
    qInstallMessageHandler(quietQt);
    // Letters are painted with Qt Gui; the tool never needs a display for them.
    bool gui = argc > 2 && qstrcmp(argv[1], "dunning") == 0 &&
               (qstrcmp(argv[2], "pdf") == 0 || qstrcmp(argv[2], "send") == 0 || qstrcmp(argv[2], "run") == 0);
    gui = gui || (argc > 1 && qstrcmp(argv[1], "letters") == 0);
    for (int i = 2; argc > 1 && qstrcmp(argv[1], "report") == 0 && i < argc; ++i)
        gui = gui || qstrcmp(argv[i], "--pdf") == 0;
    if (gui)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app =
        gui ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Scadenzio"));
    // Read from the bytes: the decoded arguments would carry U+FFFD where the bytes are
    // not UTF-8, and that is what would be stored.
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString arg = utf8.decode(QByteArrayView(argv[i]));
        if (utf8.hasError()) {
            printErr(QStringLiteral("ATTENZIONE: l'argomento %1 non è un testo UTF-8 valido: nulla è stato eseguito")
                         .arg(i));
            return 1;
        }
        args << arg;
    }
    if (args.isEmpty())
        return usage();
    if (args.first() == QLatin1String("--version") && args.size() == 1) {
        printOut(QStringLiteral("scadenzio-cli " SZ_VERSION "\n"));
        return 0;
    }
    if (args.first() == QLatin1String("upgrade") && args.size() == 1)
        return runUpgrade();
    if (args.first() == QLatin1String("sql"))
        return runSql(args.mid(1));
    if (args.first() == QLatin1String("dunning"))
        return sz::cli::runDunning(args.mid(1), {printOut, printErr});
    if (args.first() == QLatin1String("mail"))
        return sz::cli::runMail(args.mid(1), {printOut, printErr});
    if (args.first() == QLatin1String("report"))
        return sz::cli::runReport(args.mid(1), {printOut, printErr});
    if (args.first() == QLatin1String("import"))
        return sz::cli::runImport(args.mid(1), {printOut, printErr});
    if (args.first() == QLatin1String("letters"))
        return sz::cli::runLetters(args.mid(1), {printOut, printErr});
    if (args.first() == QLatin1String("schedule"))
        return sz::cli::runSchedule(args.mid(1), {printOut, printErr});
    if (args.first() == QLatin1String("pec"))
        return sz::cli::runPec(args.mid(1), {printOut, printErr});
    if (args.first() == QLatin1String("migrate"))
        return sz::cli::runMigrate(args.mid(1), {printOut, printErr});
    if (args.first() == QLatin1String("interest"))
        return sz::cli::runInterest(args.mid(1), {printOut, printErr});
    if (args.first() == QLatin1String("demo"))
        return sz::cli::runDemo(args.mid(1), {printOut, printErr});
    return usage();
}
