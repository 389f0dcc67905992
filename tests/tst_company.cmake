set(SZ_COMPANY_DIR ${CMAKE_SOURCE_DIR}/modules/registries/company)
set(SZ_SETUP_DIR ${CMAKE_SOURCE_DIR}/modules/registries/setup)
sz_add_test(tst_company ${CMAKE_CURRENT_LIST_DIR}/tst_company.cpp
  ${SZ_COMPANY_DIR}/Anagraficasocieta.cpp ${SZ_COMPANY_DIR}/CompanyForm.cpp
  ${SZ_SETUP_DIR}/Inizializzazione.cpp)
target_include_directories(tst_company PRIVATE ${SZ_COMPANY_DIR} ${SZ_SETUP_DIR})
