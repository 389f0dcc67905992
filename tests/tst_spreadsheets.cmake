# Spreadsheet readers on workbooks made at test time by LibreOffice, xlwt, openpyxl and
# libxlsxwriter; the import of what LibreOffice saved.
sz_add_test(tst_spreadsheets HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_spreadsheets.cpp)
target_link_libraries(tst_spreadsheets PRIVATE scadenzio-sheets pkgimport-logic PkgConfig::XLSXWRITER PkgConfig::LIBZIP)
