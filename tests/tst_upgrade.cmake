sz_add_test(tst_upgrade ${CMAKE_CURRENT_LIST_DIR}/tst_upgrade.cpp)
target_link_libraries(tst_upgrade PRIVATE scadenzio-startup)
