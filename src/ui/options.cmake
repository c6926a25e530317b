# The options dialog, one widget per tab.
target_sources(ornel_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/options/ArchiveTab.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/EncodingTab.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/ExtraTab.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/FtpTab.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/MaskedEdit.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/MonitoringTab.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/MultiRowTabs.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/OptionsWidgets.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/PathField.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/PostBoxTab.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/ProxyTab.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/ScheduleTab.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/TempFoldersTab.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/TFOptions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/TFOptionsSave.cpp
    ${CMAKE_CURRENT_LIST_DIR}/options/TimeField.cpp
)
# The dialog reads names, kinds and defaults from the settings table.
target_link_libraries(ornel_ui PRIVATE ornel_settings)
