# Warnings apply to our own targets only, through this interface target, so
# that third-party headers cannot break the build.
add_library(zoetra_warnings INTERFACE)
if(MSVC)
    target_compile_options(zoetra_warnings INTERFACE /W4 /permissive-)
else()
    target_compile_options(zoetra_warnings INTERFACE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
        -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wnull-dereference
        -Wimplicit-fallthrough)
    # GCC 12 reports a false -Wrestrict inside libstdc++ for
    # "literal" + std::string at -O3 (GCC bug 105651).
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU"
       AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
       AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(zoetra_warnings INTERFACE -Wno-restrict)
    endif()
endif()

# Common settings of every target of ours.
function(zoetra_target_defaults target)
    target_link_libraries(${target} PRIVATE zoetra_warnings)
endfunction()
