# A month of simulated cycles on a fake clock (tests/reliability/load.py runs it; never make test).
add_executable(bench_load_month ${CMAKE_CURRENT_LIST_DIR}/LoadMonth.cpp
                                ${PROJECT_SOURCE_DIR}/tests/engine/CycleFixture.cpp)
target_include_directories(bench_load_month PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(bench_load_month PRIVATE ornel_engine ornel_test_support)
if(TARGET ornel_crypt)
    target_compile_definitions(bench_load_month PRIVATE ORNEL_CRYPT_PATH="$<TARGET_FILE:ornel_crypt>")
else()
    target_compile_definitions(bench_load_month PRIVATE ORNEL_CRYPT_PATH="${CMAKE_BINARY_DIR}/bin/ornel_crypt")
endif()
