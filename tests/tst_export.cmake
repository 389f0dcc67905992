# Lists to .xlsx and .csv: read back by openpyxl and LibreOffice, exported from real grids.
sz_add_test(tst_export ${CMAKE_CURRENT_LIST_DIR}/tst_export.cpp)
target_link_libraries(tst_export PRIVATE scadenzio-cli-modules)
