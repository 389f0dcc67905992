# The setup's objects carry the company form; the registry frame is compiled in beside it.
sz_add_test(tst_company ${CMAKE_CURRENT_LIST_DIR}/tst_company.cpp
  ${CMAKE_SOURCE_DIR}/modules/registries/company/Anagraficasocieta.cpp)
target_link_libraries(tst_company PRIVATE pkgsetup-frame)
target_include_directories(tst_company PRIVATE ${CMAKE_SOURCE_DIR}/modules/registries/company)
