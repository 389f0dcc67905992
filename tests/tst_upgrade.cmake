sz_add_test(tst_upgrade HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_upgrade.cpp)
