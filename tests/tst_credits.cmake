# The credit register's frame is linked as objects, so that its frame and its rules are
# driven directly rather than through a loaded module.
sz_add_test(tst_credits ${CMAKE_CURRENT_LIST_DIR}/tst_credits.cpp)
target_link_libraries(tst_credits PRIVATE pkgcredits-frame)
