# The issued-documents list and the letter templates' test letter, without widgets, on a
# real database, real PDF files and the command-line tool.
sz_add_test(tst_issued_letters HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_issued_letters.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DunningData.h)
target_link_libraries(tst_issued_letters PRIVATE pkgissuedreport-logic pkgletters-logic)
add_dependencies(tst_issued_letters scadenzio-cli)
# Both frames, offscreen, with their report projects beside the test program.
sz_add_test(tst_issued_letters_frame ${CMAKE_CURRENT_LIST_DIR}/tst_issued_letters_frame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DunningData.h)
target_link_libraries(tst_issued_letters_frame PRIVATE pkgissuedreport-frame pkgletters-frame Qt6::PrintSupport)
add_custom_command(TARGET tst_issued_letters_frame POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${SCADENZIO_PROGRAM_DIR}/RaveReport $<TARGET_FILE_DIR:tst_issued_letters_frame>/RaveReport
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${SCADENZIO_PROGRAM_DIR}/Logo $<TARGET_FILE_DIR:tst_issued_letters_frame>/Logo)
