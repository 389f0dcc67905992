# The unattended daily run as the timer starts it: scadenzio-cli as a child process without
# a display, a real SMTP server on the loopback, a private session bus for the notification.
find_package(Qt6 REQUIRED COMPONENTS DBus)
sz_add_test(tst_daily_run HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_daily_run.cpp ${CMAKE_CURRENT_LIST_DIR}/DunningData.h)
target_link_libraries(tst_daily_run PRIVATE Qt6::DBus)
target_compile_definitions(tst_daily_run PRIVATE SZ_TEST_SOURCE_DIR="${CMAKE_CURRENT_LIST_DIR}")
add_dependencies(tst_daily_run scadenzio-cli)
