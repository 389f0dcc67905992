#pragma once

#include <QString>

// Readers of the spreadsheet files the imports take.
namespace sz::sheets {

// The reader libraries and their versions, for support.
QString readerVersions();

} // namespace sz::sheets
