# A month of simulated cycles on a fake clock: a program of the load run
# (tests/reliability/load.py), not a benchmark, so not named bench_* (make bench runs those).
add_executable(load_month ${CMAKE_CURRENT_LIST_DIR}/LoadMonth.cpp
                          ${PROJECT_SOURCE_DIR}/tests/engine/CycleFixture.cpp)
target_include_directories(load_month PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(load_month PRIVATE ornel_engine ornel_test_support)
if(TARGET ornel_crypt)
    target_compile_definitions(load_month PRIVATE ORNEL_CRYPT_PATH="$<TARGET_FILE:ornel_crypt>")
else()
    target_compile_definitions(load_month PRIVATE ORNEL_CRYPT_PATH="${CMAKE_BINARY_DIR}/bin/ornel_crypt")
endif()
