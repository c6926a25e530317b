# A whole exchange cycle over many small files, beside lftp (make bench; never make test).
# The bench defines the flush calls and SQLite's entry points itself to count and time them,
# so its symbols are exported for the libraries to find.
add_executable(bench_cycle_many_files
    ${CMAKE_CURRENT_LIST_DIR}/BenchEngine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CallMeter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CycleBench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DelayRelay.cpp
)
target_link_libraries(bench_cycle_many_files PRIVATE ornel_engine ornel_test_support ${CMAKE_DL_LIBS})
set_target_properties(bench_cycle_many_files PROPERTIES ENABLE_EXPORTS ON)
