# Code page conversion and date-time doubles.
target_sources(ornel_platform PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/CodePage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DateTime.cpp
)
