# Mail against a real SMTP server on the loopback (aiosmtpd), letters included.
sz_add_test(tst_mail HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_mail.cpp ${CMAKE_CURRENT_LIST_DIR}/DunningData.h)
target_link_libraries(tst_mail PRIVATE pkgdunning-logic scadenzio-mail)
target_compile_definitions(tst_mail PRIVATE SZ_TEST_SOURCE_DIR="${CMAKE_CURRENT_LIST_DIR}")
