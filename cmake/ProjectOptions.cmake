# One INTERFACE target that every library, tool and test links: language level,
# include root and the warning set (warnings are errors).
add_library(ornel_options INTERFACE)
target_compile_features(ornel_options INTERFACE cxx_std_20)
target_include_directories(ornel_options INTERFACE ${PROJECT_SOURCE_DIR}/src)
target_compile_options(ornel_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wnon-virtual-dtor -Woverloaded-virtual -Werror)
if(MINGW)
    # GCC 12 warns of overlapping copies inside std::string that cannot happen (its bug
    # 105329), in code that the Linux build compiles without a warning.
    target_compile_options(ornel_options INTERFACE -Wno-restrict)
    # localtime_r and gmtime_r, as the POSIX build has them.
    target_compile_definitions(ornel_options INTERFACE _POSIX_THREAD_SAFE_FUNCTIONS)
endif()
target_compile_definitions(ornel_options INTERFACE
    ORNEL_VERSION="${PROJECT_VERSION}"
    ORNEL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    ORNEL_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    ORNEL_VERSION_PATCH=${PROJECT_VERSION_PATCH})

# Tests and tools that are not part of the shipped core may include third-party
# headers that warn; they link this instead of tightening their own flags.
add_library(ornel_test_options INTERFACE)
target_link_libraries(ornel_test_options INTERFACE ornel_options)
target_include_directories(ornel_test_options INTERFACE ${PROJECT_SOURCE_DIR}/tests)
