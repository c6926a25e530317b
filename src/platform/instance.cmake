# One agent per settings store.
target_sources(ornel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/posix/InstanceLock.cpp
)
