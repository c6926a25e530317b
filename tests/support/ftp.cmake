# The scripted FTP server and the real-server launchers (pure-ftpd and ProFTPD run unpacked
# from the build folder; their password files take crypt hashes).
target_sources(ornel_test_support PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/LoopbackPort.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ScriptedFtpServer.cpp
)
# The real servers are Linux programs, started from the Linux tests only.
if(NOT WIN32)
    target_sources(ornel_test_support PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/RealFtpServer.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ServerProcess.cpp
        ${CMAKE_CURRENT_LIST_DIR}/UnpackedFtpServer.cpp
    )
    target_compile_definitions(ornel_test_support PRIVATE
        ORNEL_DEMO_FTPD="${PROJECT_SOURCE_DIR}/scripts/demo_ftpd.py")
    target_link_libraries(ornel_test_support PRIVATE crypt)
endif()
