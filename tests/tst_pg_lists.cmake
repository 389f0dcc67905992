# Every list, listing command and letter reads the same rows in the same order from the encrypted
# file and from the test server (runs when SZ_TEST_PG_URI names the throwaway cluster of make test).
sz_add_test(tst_pg_lists HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_pg_lists.cpp)
target_link_libraries(tst_pg_lists PRIVATE pkgdunning-logic pkgcredits-logic pkgclients-logic pkgparams-logic
  pkgletters-logic pkgimport-logic pkgissuedreport-logic)
add_dependencies(tst_pg_lists scadenzio-cli)
