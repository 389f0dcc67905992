# Lists to .xlsx and .csv: read back by openpyxl and LibreOffice, exported from real grids.
sz_add_test(tst_export ${CMAKE_CURRENT_LIST_DIR}/tst_export.cpp)
