# The .xls reader on workbooks built record by record, in compound files libgsf writes.
sz_add_test(tst_xls HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_xls.cpp)
target_link_libraries(tst_xls PRIVATE scadenzio-sheets PkgConfig::LIBGSF)
