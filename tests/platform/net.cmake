# Sockets on loopback.
target_sources(test_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/SocketTest.cpp)
