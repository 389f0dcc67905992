sz_add_test(tst_foundation HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_foundation.cpp)
