# The daily run's schedule: systemd user units, a recording systemctl, the command line.
sz_add_test(tst_schedule HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_schedule.cpp ${CMAKE_CURRENT_LIST_DIR}/SystemctlFinto.h)
add_dependencies(tst_schedule scadenzio-cli)
