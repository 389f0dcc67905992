# The interest rate table: its rules, and the frame that lists and edits it.
sz_add_test(tst_rates ${CMAKE_CURRENT_LIST_DIR}/tst_rates.cpp)
target_link_libraries(tst_rates PRIVATE pkgrates-frame)
