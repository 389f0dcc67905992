#include "CliDemo.h"

#include "Demo.h"
#include "Startup.h"

#include "scadenzio/Database.h"
#include "scadenzio/Error.h"
#include "scadenzio/Paths.h"

namespace sz::cli {

int runDemo(const QStringList& args, const Output& io)
{
    if (!args.isEmpty()) {
        io.err(QStringLiteral("Uso: scadenzio-cli demo"));
        return 2;
    }
    try {
        // A first command on a new computer finds no database yet: it is made as the
        // program's first start makes it.
        sz::startup::installDefaults();
        db::Connection conn(paths::LoadConnection());
        io.out(demo::testoRiepilogo(demo::crea(conn)) + QLatin1Char('\n'));
        return 0;
    } catch (const Error& e) {
        if (demo::rifiuto(e.message())) {
            io.err(e.message());
            return 1;
        }
        io.err(commonErrorMessage(e.message()));
        return 2;
    }
}

} // namespace sz::cli
