# The settings store: the system registry on Windows, and everywhere the file store (.reg
# text files per hive, replaced atomically under a file lock).
target_sources(ornel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/FileSnapshot.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegistryStore.cpp
)
if(WIN32)
    target_sources(ornel_platform PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/win/WinRegistry.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/AtomicFile.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/FileLock.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/FileSnapshot.cpp
    )
    target_link_libraries(ornel_platform PUBLIC advapi32)
else()
    target_sources(ornel_platform PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/posix/NoSystemRegistry.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/AtomicFile.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/FileLock.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/FileSnapshot.cpp
    )
endif()
