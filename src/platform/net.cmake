# IPv4 sockets for the FTP client.
target_sources(ornel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/posix/PosixSocket.cpp
)
