# scadenzio-cli migrate between the encrypted file and a PostgreSQL database (the server tests run
# when SZ_TEST_PG_URI names the throwaway cluster of make test), and the writing of strConn.
sz_add_test(tst_pg_migrate HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_pg_migrate.cpp)
target_link_libraries(tst_pg_migrate PRIVATE scadenzio-cli-modules)
add_dependencies(tst_pg_migrate scadenzio-cli)
