# The exchange cycle and its two transfer halves.
target_sources(ornel_engine PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ExchangeCycle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Incoming.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Outgoing.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerListing.cpp
)
