# The certified mailbox read over IMAP from a real Dovecot on the loopback, started by the
# test with its own configuration and a certificate made by openssl.
sz_add_test(tst_pec_imap HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_pec_imap.cpp)
target_link_libraries(tst_pec_imap PRIVATE pkgpec-logic)
add_dependencies(tst_pec_imap scadenzio-cli)
set_property(TEST tst_pec_imap APPEND PROPERTY ENVIRONMENT TZ=Europe/Rome)
