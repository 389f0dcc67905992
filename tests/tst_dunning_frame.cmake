# The dunning frame linked as objects and driven directly, offscreen.
sz_add_test(tst_dunning_frame ${CMAKE_CURRENT_LIST_DIR}/tst_dunning_frame.cpp ${CMAKE_CURRENT_LIST_DIR}/DunningData.h)
target_link_libraries(tst_dunning_frame PRIVATE pkgdunning-frame)
# The frame finds its report projects beside the running program, as an installation has
# them; a test program is its own program folder.
add_custom_command(TARGET tst_dunning_frame POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${SCADENZIO_PROGRAM_DIR}/RaveReport $<TARGET_FILE_DIR:tst_dunning_frame>/RaveReport
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${SCADENZIO_PROGRAM_DIR}/Logo $<TARGET_FILE_DIR:tst_dunning_frame>/Logo)
target_compile_definitions(tst_dunning_frame PRIVATE SZ_TEST_SOURCE_DIR="${CMAKE_CURRENT_LIST_DIR}")
