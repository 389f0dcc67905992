# The client and payment-mode registries: their frames and, through them, their rules.
sz_add_test(tst_clients_params ${CMAKE_CURRENT_LIST_DIR}/tst_clients_params.cpp)
target_link_libraries(tst_clients_params PRIVATE pkgclients-frame pkgparams-frame)
