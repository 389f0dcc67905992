# Notices between workstations sharing a server database (skipped without the test server).
sz_add_test(tst_pg_changes ${CMAKE_CURRENT_LIST_DIR}/tst_pg_changes.cpp)
target_link_libraries(tst_pg_changes PRIVATE scadenzio-startup)
