sz_add_test(tst_interest HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_interest.cpp)
