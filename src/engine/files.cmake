# Folder layout, file moves and their batches, the encryption program call, counters,
# notifications.
target_sources(ornel_engine PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Counters.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CryptCall.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ExchangeBatch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileMoves.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FolderLayout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Notifications.cpp
)
