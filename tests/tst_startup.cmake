sz_add_test(tst_startup HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_startup.cpp)
add_dependencies(tst_startup scadenzio-cli)
