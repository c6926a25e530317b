# Exchange cycles against FTP servers of other makes: pure-ftpd and ProFTPD from Debian's
# packages, unpacked into the build folder (they conflict with the installed vsftpd), vsftpd
# and plain pyftpdlib. The packages are fetched once per build folder.
set(ORNEL_FTP_SERVERS_DIR ${CMAKE_BINARY_DIR}/ftp-servers)
add_custom_command(
    OUTPUT ${ORNEL_FTP_SERVERS_DIR}/unpacked.stamp
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/fetch-ftp-servers.sh ${ORNEL_FTP_SERVERS_DIR}
    DEPENDS ${PROJECT_SOURCE_DIR}/scripts/fetch-ftp-servers.sh
    COMMENT "Fetching and unpacking pure-ftpd and ProFTPD for the interoperability tests"
    VERBATIM)
add_custom_target(ornel_unpacked_ftp_servers DEPENDS ${ORNEL_FTP_SERVERS_DIR}/unpacked.stamp)

add_executable(test_engine_servers
    ${CMAKE_CURRENT_LIST_DIR}/CycleFixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerInteropTest.cpp
)
target_link_libraries(test_engine_servers PRIVATE ornel_engine ornel_test_support GTest::gtest_main)
add_dependencies(test_engine_servers ornel_unpacked_ftp_servers)
target_compile_definitions(test_engine_servers PRIVATE
    ORNEL_FTP_SERVERS_ROOT="${ORNEL_FTP_SERVERS_DIR}/root"
    ORNEL_CRYPT_PATH="${CMAKE_BINARY_DIR}/bin/ornel_crypt")
gtest_discover_tests(test_engine_servers DISCOVERY_TIMEOUT 60 PROPERTIES LABELS integration)
