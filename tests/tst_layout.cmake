sz_add_test(tst_layout HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_layout.cpp)
target_link_libraries(tst_layout PRIVATE scadenzio-report)
