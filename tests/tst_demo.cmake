# The demo firm: its data read by the dunning rules, the command and the setup's button.
sz_add_test(tst_demo ${CMAKE_CURRENT_LIST_DIR}/tst_demo.cpp ${CMAKE_CURRENT_LIST_DIR}/DbProva.h)
target_link_libraries(tst_demo PRIVATE pkgsetup-frame pkgdunning-logic pkgbanks-logic)
add_dependencies(tst_demo scadenzio-cli)
