#pragma once

#include "scadenzio/Export.h"

#include <QString>

namespace sz {

// Reads one value of an INI file the way the Windows profile API did: section and
// key names match without regard to case, blanks around names and values are
// dropped, and a missing file, section or key gives the default.
SZ_CORE_EXPORT QString readIniValue(const QString& file, const QString& section, const QString& key,
                                      const QString& defaultValue = QString());

} // namespace sz
