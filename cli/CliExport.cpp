#include "CliExport.h"

namespace sz::cli {

Esportazione leggiEsportazione(QStringList&)
{
    return {};
}

bool esporta(const Esportazione&, const sz::esporta::Tabella&, const Output&)
{
    return true;
}

} // namespace sz::cli
