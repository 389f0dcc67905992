sz_add_test(tst_platform HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_platform.cpp)
target_link_libraries(tst_platform PRIVATE scadenzio-report scadenzio-mail scadenzio-sheets)
