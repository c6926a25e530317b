# Folder change notification (inotify) and the console event loop with its timers.
target_sources(ornel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/posix/ConsoleEventLoop.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/ConsoleTimer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix/InotifyWatcher.cpp
)
