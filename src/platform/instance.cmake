# One agent per settings store.
if(WIN32)
    target_sources(ornel_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/win/InstanceLock.cpp)
else()
    target_sources(ornel_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/posix/InstanceLock.cpp)
endif()
