# Files and folders (copy without replacing, exclusive-open test) and child programs.
target_sources(ornel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/posix/PosixFileSystem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/PosixExclusiveOpen.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/PosixProcess.cpp
)
