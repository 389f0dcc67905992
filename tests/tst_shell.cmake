# Loader test modules live in the test executables' own Bpl folder.
foreach(m uno due tre rotto)
  add_library(pkgtest${m} MODULE ${CMAKE_CURRENT_LIST_DIR}/modules/TestFrame.cpp)
  target_link_libraries(pkgtest${m} PRIVATE scadenzio-ui Qt6::Widgets)
  target_compile_options(pkgtest${m} PRIVATE -fno-gnu-unique)
  string(SUBSTRING ${m} 0 1 first)
  string(TOUPPER ${first} first)
  string(SUBSTRING ${m} 1 -1 rest)
  target_compile_definitions(pkgtest${m} PRIVATE SZ_TEST_CLASS=TFrame${first}${rest} SZ_TEST_CLASS_NAME="TFrame${first}${rest}")
  set_target_properties(pkgtest${m} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/Bpl)
endforeach()
target_compile_definitions(pkgtestrotto PRIVATE SZ_TEST_THROWS)

sz_add_test(tst_shell ${CMAKE_CURRENT_LIST_DIR}/tst_shell.cpp)
target_link_libraries(tst_shell PRIVATE scadenzio-shell)
add_dependencies(tst_shell pkgtestuno pkgtestdue pkgtesttre pkgtestrotto pkgguide
  pkgbanks pkgclients pkgcompany pkgcredits pkgparams pkgstats) # reached from the guide's links
