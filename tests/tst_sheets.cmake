# The readers of the files the imports take, on files made at test time by real producers.
sz_add_test(tst_sheets HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_sheets.cpp)
target_link_libraries(tst_sheets PRIVATE scadenzio-sheets)
