# A whole exchange cycle over many small files, beside lftp (make bench; never make test).
add_executable(bench_cycle_many_files ${CMAKE_CURRENT_LIST_DIR}/CycleBench.cpp)
target_link_libraries(bench_cycle_many_files PRIVATE ornel_engine ornel_test_support)
