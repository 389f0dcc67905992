# The dunning rules and letter runs, without widgets: what the frame and the command-line
# tool share.
sz_add_test(tst_dunning HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_dunning.cpp ${CMAKE_CURRENT_LIST_DIR}/DunningData.h)
target_link_libraries(tst_dunning PRIVATE pkgdunning-logic)
add_dependencies(tst_dunning scadenzio-cli)
