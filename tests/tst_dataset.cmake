sz_add_test(tst_dataset ${CMAKE_CURRENT_LIST_DIR}/tst_dataset.cpp)
