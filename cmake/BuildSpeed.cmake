# What keeps a build from nothing short on a small machine (docs/testing.md, "Build time"):
# ccache where it is installed, lld, precompiled headers, and tests with line tables only.

# Off by default: with GCC 12 a precompiled gtkmm stack is a 280 MB file that every compile
# loads, and measured here that costs more system time than it saves in parsing (most of a
# compile is template instantiation and code generation, which a precompiled header keeps).
option(PARLIVO_PCH "Precompile the heavy headers (the C++ library, the gtkmm stack, GoogleTest)" OFF)
option(PARLIVO_TESTS_FULL_DEBUG_INFO
       "Build the tests and benchmarks with full debug information (-g) instead of line tables (-g1)" OFF)

# ccache, with its cache where ccache keeps it by default (the user's cache folder). Sources that
# use a precompiled header are cached only with the sloppiness below; depend mode reads the
# compiler's own dependency file instead of running the preprocessor again on a miss, which is
# every compile on a fresh machine. ccache's check that no header changed while a compile ran
# stays on without precompiled headers: a header edited (or a branch checked out) during a build
# would otherwise put an object made from the new header under the old one's key, and a later
# build of the old header would get it.
find_program(PARLIVO_CCACHE ccache)
if(PARLIVO_CCACHE)
    set(parlivo_ccache_sloppiness "pch_defines,time_macros")
    if(PARLIVO_PCH)
        string(APPEND parlivo_ccache_sloppiness ",include_file_mtime,include_file_ctime")
    endif()
    foreach(lang C CXX)
        if(NOT CMAKE_${lang}_COMPILER_LAUNCHER OR CMAKE_${lang}_COMPILER_LAUNCHER MATCHES "ccache$")
            set(CMAKE_${lang}_COMPILER_LAUNCHER
                ${CMAKE_COMMAND} -E env "CCACHE_SLOPPINESS=${parlivo_ccache_sloppiness}"
                CCACHE_DEPEND=1 ${PARLIVO_CCACHE})
        endif()
    endforeach()
endif()

# lld links the large libraries and the test programs several times faster than ld.bfd.
find_program(PARLIVO_LLD ld.lld)
if(PARLIVO_LLD)
    add_link_options(-fuse-ld=lld)
endif()

# A compiler-default position-independence for the test programs and their support libraries:
# a precompiled header serves only compiles with the same -fpic/-fpie setting, and one header is
# shared by the static support libraries and the executables.
set(PARLIVO_PCH_ENABLED OFF)
if(PARLIVO_PCH AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    set(PARLIVO_PCH_ENABLED ON)
endif()

# parlivo_precompile(target HEADER file...): the target precompiles these headers itself.
# parlivo_precompile(target FROM owner): it reuses the owner's (same compile flags, same PIC).
function(parlivo_precompile target mode)
    if(NOT PARLIVO_PCH_ENABLED)
        return()
    endif()
    if(mode STREQUAL "FROM")
        target_precompile_headers(${target} REUSE_FROM ${ARGN})
    else()
        target_precompile_headers(${target} PRIVATE ${ARGN})
    endif()
endfunction()

# The debug information of a test or benchmark program and its support libraries.
function(parlivo_test_debug_info target)
    if(NOT PARLIVO_TESTS_FULL_DEBUG_INFO)
        target_compile_options(${target} PRIVATE -g1)
    endif()
endfunction()
