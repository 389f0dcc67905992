#include "CliSql.h"
#include "SqlAmounts.h"
#include "Startup.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <cstdio>

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
        "  scadenzio-cli upgrade\n"
        "      installa i file mancanti, esegue il backup e aggiorna la struttura del database\n"
        "  scadenzio-cli sql \"ISTRUZIONE\" [NOME=VALORE ...]\n"
        "      esegue un'istruzione sul database configurato; i valori sono parametri con nome\n"
        "      (NOME:int=, NOME:money=, NOME:date=gg/mm/aaaa, NOME:null= per valori tipizzati);\n"
        "      gli importi si danno solo come NOME:money=1.234,50 e si leggono in euro"));
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

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
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
    if (args.first() == QLatin1String("upgrade") && args.size() == 1)
        return runUpgrade();
    if (args.first() == QLatin1String("sql"))
        return runSql(args.mid(1));
    return usage();
}
