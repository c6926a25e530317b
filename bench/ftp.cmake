# FTP client throughput against a local vsftpd, side by side with curl. The server launcher
# comes from the test support library.
if(TARGET ornel_test_support)
    add_executable(bench_ftp_throughput ${CMAKE_CURRENT_LIST_DIR}/FtpThroughputBench.cpp)
    target_link_libraries(bench_ftp_throughput PRIVATE ornel_ftp ornel_test_support)
endif()
