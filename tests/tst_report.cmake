sz_add_test(tst_report HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_report.cpp)
target_link_libraries(tst_report PRIVATE scadenzio-report)
