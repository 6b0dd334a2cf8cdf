# Instrumentation of the whole tree: every library and program, not only the tests, so a fault
# in the platform layer or in Tovak is caught wherever a test reaches it.
#
# PARLIVO_SANITIZE: AddressSanitizer (with LeakSanitizer) and UndefinedBehaviorSanitizer, for the
# sanitizer pass of the test run (scripts/test --sanitize). Undefined behaviour stops the program
# at its first report instead of printing and going on.
#
# PARLIVO_FUZZ: clang only. Every library is built with -fsanitize=fuzzer-no-link, so libFuzzer
# sees coverage in the code a target calls (the parsers live in the platform layer and the
# application), not only in the target's own file; the targets themselves link libFuzzer.
if(PARLIVO_SANITIZE AND PARLIVO_FUZZ)
    message(FATAL_ERROR "PARLIVO_SANITIZE and PARLIVO_FUZZ are separate builds; the fuzz build is sanitized already")
endif()

# No vptr check: our programs export their copies of libstdc++'s inline templates (shared_ptr's
# control block among them), and JavaScriptCore, built without RTTI checks, binds to those copies
# at load time. The check then runs on JavaScriptCore's own objects, whose type information it
# cannot see, and reports every one of them as having an invalid vptr when the VM is torn down.
set(PARLIVO_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize=vptr -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)

if(PARLIVO_SANITIZE)
    # -O1 keeps the pass fast enough to run every test while stacks stay readable.
    add_compile_options(${PARLIVO_SANITIZER_FLAGS} -O1 -g)
    add_link_options(-fsanitize=address,undefined -fno-sanitize=vptr)
endif()

if(PARLIVO_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "PARLIVO_FUZZ needs clang (CC=clang-14 CXX=clang++-14)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link ${PARLIVO_SANITIZER_FLAGS} -g)
    add_link_options(-fsanitize=address,undefined)
endif()
