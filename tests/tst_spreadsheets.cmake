# Spreadsheet readers on workbooks made at test time by xlwt, openpyxl and libxlsxwriter.
sz_add_test(tst_spreadsheets HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_spreadsheets.cpp)
target_link_libraries(tst_spreadsheets PRIVATE scadenzio-sheets PkgConfig::XLSXWRITER PkgConfig::LIBZIP)
