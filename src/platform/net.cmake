# IPv4 sockets and transfer files for the FTP client.
target_sources(ornel_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Socket.cpp)
if(WIN32)
    target_sources(ornel_platform PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/win/WinSocket.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/WinTransferFile.cpp
    )
    target_link_libraries(ornel_platform PUBLIC ws2_32)
else()
    target_sources(ornel_platform PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/posix/PosixSocket.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/PosixTransferFile.cpp
    )
endif()
