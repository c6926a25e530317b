# File helpers, encryption program call, counters and notifications; the platform's file
# and process primitives they stand on.
add_executable(ornel_record_args ${CMAKE_CURRENT_LIST_DIR}/RecordArgs.cpp)
target_link_libraries(ornel_record_args PRIVATE ornel_options)

add_executable(test_engine_files
    ${CMAKE_CURRENT_LIST_DIR}/CountersNotificationsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CryptCallTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileBatchTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileMovesTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileSystemTest.cpp
)
target_link_libraries(test_engine_files PRIVATE ornel_engine ornel_test_support GTest::gtest_main)
add_dependencies(test_engine_files ornel_crypt ornel_record_args)
target_compile_definitions(test_engine_files PRIVATE
    ORNEL_CRYPT_PATH="$<TARGET_FILE:ornel_crypt>"
    ORNEL_RECORD_ARGS_PATH="$<TARGET_FILE:ornel_record_args>")
gtest_discover_tests(test_engine_files DISCOVERY_TIMEOUT 60)

# Alone, as any other test's sync of the file system would write out the data that this one
# needs to stay unwritten.
add_executable(test_engine_unwritten ${CMAKE_CURRENT_LIST_DIR}/UnwrittenDataTest.cpp)
target_link_libraries(test_engine_unwritten PRIVATE ornel_platform ornel_test_support GTest::gtest_main)
gtest_discover_tests(test_engine_unwritten DISCOVERY_TIMEOUT 60 PROPERTIES RUN_SERIAL TRUE)
