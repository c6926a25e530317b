# The settings store: .reg text files per hive, replaced atomically under a file lock.
target_sources(ornel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/RegFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegistryStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/AtomicFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/FileLock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/FileSnapshot.cpp
)
