# The start-up copy of a server database with its dump tool (stand-in tools for the
# failures, the real one against the test server when there is one).
sz_add_test(tst_server_backup HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_server_backup.cpp)
target_link_libraries(tst_server_backup PRIVATE scadenzio-startup)
