# Certified-mail receipts built at test time and signed by a test CA with openssl: read,
# matched to the letter log, filed beside the letter's PDF, the letters' states, and the
# command line.
sz_add_test(tst_pec HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_pec.cpp)
target_link_libraries(tst_pec PRIVATE pkgpec-logic)
add_dependencies(tst_pec scadenzio-cli)
# The clerk's zone: a provider's time with its own zone is shown in Italian time.
set_property(TEST tst_pec APPEND PROPERTY ENVIRONMENT TZ=Europe/Rome)
