# The data layer on a PostgreSQL server against the encrypted file (runs when SZ_TEST_PG_URI
# names a throwaway cluster, as make test starts one; skips otherwise).
sz_add_test(tst_pg_database HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_pg_database.cpp)
