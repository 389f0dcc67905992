# The outgoing-mail settings: provider files, the test message, the frame.
sz_add_test(tst_mailserver ${CMAKE_CURRENT_LIST_DIR}/tst_mailserver.cpp)
target_link_libraries(tst_mailserver PRIVATE pkgmailserver-frame)
add_dependencies(tst_mailserver scadenzio-cli)
