# Files and folders (copies without replacing, batches made durable together, the test for
# files still open, crash points), child programs, the stop request, and the running
# program's folder and command line.
target_sources(ornel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/CrashPoint.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileSystem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Process.cpp
)
if(WIN32)
    target_sources(ornel_platform PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/win/CrashKill.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/WinFileBatch.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/WinFileSystem.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/WinOpenFileProbe.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/WinCommandLineArgs.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/WinProcess.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/WinEnvironment.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/WinProgramFolder.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/WinStopRequest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/WideText.cpp
    )
    target_link_libraries(ornel_platform PUBLIC shell32)
else()
    target_sources(ornel_platform PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/posix/CrashKill.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/PosixCommandLineArgs.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/PosixFileBatch.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/PosixFileSystem.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/PosixOpenFileProbe.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/PosixProcess.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/PosixEnvironment.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/PosixProgramFolder.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/PosixStopRequest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/UnwrittenData.cpp
    )
endif()
