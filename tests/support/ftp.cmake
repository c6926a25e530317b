# The scripted FTP server and the real-server launcher.
target_sources(ornel_test_support PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ScriptedFtpServer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RealFtpServer.cpp
)
target_compile_definitions(ornel_test_support PRIVATE
    ORNEL_DEMO_FTPD="${PROJECT_SOURCE_DIR}/scripts/demo_ftpd.py")
