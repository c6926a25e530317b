# Exchange cycle tests: end to end against a real FTP server and against the scripted one.
add_executable(test_engine_cycle
    ${CMAKE_CURRENT_LIST_DIR}/CycleFixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ExchangeCycleTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerListingTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TransferScriptedTest.cpp
)
target_link_libraries(test_engine_cycle PRIVATE ornel_engine ornel_test_support GTest::gtest_main)
if(TARGET ornel_crypt)
    add_dependencies(test_engine_cycle ornel_crypt)
    target_compile_definitions(test_engine_cycle PRIVATE ORNEL_CRYPT_PATH="$<TARGET_FILE:ornel_crypt>")
else()
    target_compile_definitions(test_engine_cycle PRIVATE ORNEL_CRYPT_PATH="${CMAKE_BINARY_DIR}/bin/ornel_crypt")
endif()
# Every case starts a server (pyftpdlib or the scripted one on a loopback socket).
gtest_discover_tests(test_engine_cycle DISCOVERY_TIMEOUT 60 PROPERTIES LABELS integration)
