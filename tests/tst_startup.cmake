sz_add_test(tst_startup HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_startup.cpp)
target_link_libraries(tst_startup PRIVATE scadenzio-cli-sql)
add_dependencies(tst_startup scadenzio-cli)
