# Where the agent keeps its files, fixed when the build is configured.
#   build   (default) everything in and beside the build folder: the settings store in
#           ~/.config/ornel_ftp (or --registry-dir), the journal beside the executable, the
#           daily log in the working folder. Development, the tests and the demo use it.
#   system  an installed program: the machine-wide store in /etc/ornel-ftp, the per-user
#           part in ~/.config/ornel_ftp, the journal in /var/lib/ornel-ftp, the daily logs in
#           /var/log/ornel-ftp, shared data in /usr/share/ornel-ftp. `make deb` builds this
#           one; only this layout has install rules.
set(ORNEL_LAYOUT "build" CACHE STRING "File layout of the agent: build or system")
set_property(CACHE ORNEL_LAYOUT PROPERTY STRINGS build system)
if(NOT ORNEL_LAYOUT MATCHES "^(build|system)$")
    message(FATAL_ERROR "ORNEL_LAYOUT must be build or system, not '${ORNEL_LAYOUT}'")
endif()

include(GNUInstallDirs)

if(ORNEL_LAYOUT STREQUAL "system")
    set(ORNEL_STORE_DIR "${CMAKE_INSTALL_FULL_SYSCONFDIR}/ornel-ftp" CACHE PATH
        "Machine-wide settings store folder")
    set(ORNEL_STATE_DIR "${CMAKE_INSTALL_FULL_LOCALSTATEDIR}/lib/ornel-ftp" CACHE PATH
        "Folder of the journal")
    set(ORNEL_LOG_DIR "${CMAKE_INSTALL_FULL_LOCALSTATEDIR}/log/ornel-ftp" CACHE PATH
        "Folder of the daily logs")
    # Read-only files the program ships beside itself (for example the maker's contacts).
    set(ORNEL_DATA_DIR "${CMAKE_INSTALL_FULL_DATADIR}/ornel-ftp" CACHE PATH
        "Folder of the program's shared data")
    set(ORNEL_SYSTEMD_UNIT_DIR "/lib/systemd/system" CACHE PATH "Folder of systemd system units")
    set(ORNEL_GROUP "ornel-ftp" CACHE STRING
        "System group (and service user) that shares the store, the journal and the logs")
    set(ORNEL_LAYOUT_SYSTEM 1)
else()
    # Empty folders mean "decided at run time" (executable folder, working folder, HOME).
    set(ORNEL_STORE_DIR "")
    set(ORNEL_STATE_DIR "")
    set(ORNEL_LOG_DIR "")
    set(ORNEL_DATA_DIR "")
    set(ORNEL_LAYOUT_SYSTEM 0)
endif()

configure_file(${PROJECT_SOURCE_DIR}/src/app/InstallLayout.h.in
    ${PROJECT_BINARY_DIR}/generated/app/InstallLayout.h @ONLY)
