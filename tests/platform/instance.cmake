# One agent per settings store.
target_sources(test_platform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/InstanceLockTest.cpp)
