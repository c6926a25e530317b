# Folder change notification and the console event loop with its timers.
target_sources(ornel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ConsoleEventLoop.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ConsoleTimer.cpp
)
if(WIN32)
    target_sources(ornel_platform PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/win/DirectoryChangesWatcher.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win/WakeSignal.cpp
    )
else()
    target_sources(ornel_platform PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/posix/InotifyWatcher.cpp
        ${CMAKE_CURRENT_LIST_DIR}/posix/WakeSignal.cpp
    )
endif()
