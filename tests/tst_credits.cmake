# The credit register's sources are compiled into the test itself, so that its frame
# and its rules are driven directly rather than through a loaded module.
set(SZ_CREDITS_DIR ${CMAKE_SOURCE_DIR}/modules/credits)
sz_add_test(tst_credits ${CMAKE_CURRENT_LIST_DIR}/tst_credits.cpp
  ${SZ_CREDITS_DIR}/Gestionecrediti.h ${SZ_CREDITS_DIR}/Gestionecrediti.cpp
  ${SZ_CREDITS_DIR}/CreditiLogic.h ${SZ_CREDITS_DIR}/CreditiLogic.cpp)
target_include_directories(tst_credits PRIVATE ${SZ_CREDITS_DIR})
