set(SZ_STATS_DIR ${CMAKE_SOURCE_DIR}/modules/reports/stats)
set(SZ_BANKS_DIR ${CMAKE_SOURCE_DIR}/modules/registries/banks)
sz_add_test(tst_stats_banks ${CMAKE_CURRENT_LIST_DIR}/tst_stats_banks.cpp
  ${SZ_STATS_DIR}/CreditTotals.h ${SZ_STATS_DIR}/CreditTotals.cpp
  ${SZ_STATS_DIR}/Statistiche.h ${SZ_STATS_DIR}/Statistiche.cpp
  ${SZ_BANKS_DIR}/Iban.h ${SZ_BANKS_DIR}/Iban.cpp
  ${SZ_BANKS_DIR}/Anagraficabanche.h ${SZ_BANKS_DIR}/Anagraficabanche.cpp)
target_include_directories(tst_stats_banks PRIVATE ${SZ_STATS_DIR} ${SZ_BANKS_DIR})
target_link_libraries(tst_stats_banks PRIVATE Qt6::Charts)
