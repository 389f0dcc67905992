# The manual as the build renders it, pictures of the real windows included.
sz_add_test(tst_manual HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_manual.cpp)
target_link_libraries(tst_manual PRIVATE Qt6::Gui)
add_dependencies(tst_manual scadenzio-manual)
target_compile_definitions(tst_manual PRIVATE
  SZ_MANUAL_SOURCE="${CMAKE_SOURCE_DIR}/resources/Help/manuale.html"
  SZ_MAKE_MANUAL="$<TARGET_FILE:scadenzio-make-manual>"
  SZ_VERSION_BUILT="${PROJECT_VERSION}" SZ_PACKAGE_BUILT="${SZ_PACKAGE_VERSION}")
