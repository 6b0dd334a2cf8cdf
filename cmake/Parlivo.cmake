# Shared helpers for the project's CMake files.

# Warnings for our own targets; errors with PARLIVO_WERROR (the test command and CI build so).
option(PARLIVO_WERROR "Treat warnings in our own code as errors" OFF)
function(parlivo_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
    if(PARLIVO_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
        # GCC 12 with AddressSanitizer at -O1 warns of "maybe uninitialized" members inside
        # libstdc++'s own <regex> and std::function: a false positive of the instrumentation.
        if(PARLIVO_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
            target_compile_options(${target} PRIVATE -Wno-error=maybe-uninitialized)
        endif()
    endif()
endfunction()

# All sources of a folder (recursively), so a new file needs no CMake edit.
function(parlivo_glob_sources out dir)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS
        ${dir}/*.cpp ${dir}/*.cc ${dir}/*.c ${dir}/*.h)
    set(${out} ${found} PARENT_SCOPE)
endfunction()

# An object library needs at least one source; a folder that is still empty gets a blank one.
function(parlivo_nonempty_sources var)
    if(NOT ${var})
        set(blank ${CMAKE_CURRENT_BINARY_DIR}/blank.cpp)
        file(WRITE ${blank} "// intentionally empty\n")
        set(${var} ${blank} PARENT_SCOPE)
    endif()
endfunction()
