# The import rules without widgets: grid, saved mapping, client and document rows, the
# run's transactions, safety copy and restore, on a real database and real CSV files.
sz_add_test(tst_import HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_import.cpp)
target_link_libraries(tst_import PRIVATE pkgimport-logic)
# The frame, offscreen, with spreadsheets written by libxlsxwriter.
sz_add_test(tst_import_frame ${CMAKE_CURRENT_LIST_DIR}/tst_import_frame.cpp)
target_link_libraries(tst_import_frame PRIVATE pkgimport-frame PkgConfig::XLSXWRITER)
add_dependencies(tst_import scadenzio-cli)
