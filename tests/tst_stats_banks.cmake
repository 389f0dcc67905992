sz_add_test(tst_stats_banks ${CMAKE_CURRENT_LIST_DIR}/tst_stats_banks.cpp)
target_link_libraries(tst_stats_banks PRIVATE pkgstats-frame pkgbanks-frame)
