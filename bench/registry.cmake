# Importing a large Windows export and reading the store again and again (make bench; never make test).
add_executable(bench_reg_import ${CMAKE_CURRENT_LIST_DIR}/RegImportBench.cpp)
target_link_libraries(bench_reg_import PRIVATE ornel_settings ornel_test_support)
