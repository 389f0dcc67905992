# Issued electronic invoices: the reader (formats, prefixes, due dates, totals, signed
# files, mutated files) and their import into the register, from a generator of our own,
# the openssl tool for signatures, and the command line.
sz_add_test(tst_einvoices HEADLESS ${CMAKE_CURRENT_LIST_DIR}/tst_einvoices.cpp)
target_link_libraries(tst_einvoices PRIVATE pkgimport-logic scadenzio-sheets)
add_dependencies(tst_einvoices scadenzio-cli)
