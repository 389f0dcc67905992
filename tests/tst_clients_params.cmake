# The client and payment-mode registries, with the module sources compiled in.
set(SZ_CLIENTS_DIR ${CMAKE_SOURCE_DIR}/modules/registries/clients)
set(SZ_PARAMS_DIR ${CMAKE_SOURCE_DIR}/modules/registries/params)
sz_add_test(tst_clients_params ${CMAKE_CURRENT_LIST_DIR}/tst_clients_params.cpp
  ${SZ_CLIENTS_DIR}/Anagraficaclienti.h ${SZ_CLIENTS_DIR}/Anagraficaclienti.cpp
  ${SZ_CLIENTS_DIR}/GraficoCliente.h ${SZ_CLIENTS_DIR}/GraficoCliente.cpp
  ${SZ_CLIENTS_DIR}/StatisticheCliente.h ${SZ_CLIENTS_DIR}/StatisticheCliente.cpp
  ${SZ_CLIENTS_DIR}/FiltroClienti.h
  ${SZ_PARAMS_DIR}/Parametri.h ${SZ_PARAMS_DIR}/Parametri.cpp)
target_include_directories(tst_clients_params PRIVATE ${SZ_CLIENTS_DIR} ${SZ_PARAMS_DIR})
target_link_libraries(tst_clients_params PRIVATE Qt6::Charts)
