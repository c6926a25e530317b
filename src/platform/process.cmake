# Files and folders (copies without replacing, batches made durable together, the test
# for files still open, crash points) and child programs.
target_sources(ornel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/posix/CrashPoint.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/PosixFileBatch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/PosixFileSystem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/PosixOpenFileProbe.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/PosixProcess.cpp
)
