# IPv4 sockets and transfer files for the FTP client.
target_sources(ornel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/posix/PosixSocket.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/PosixTransferFile.cpp
)
