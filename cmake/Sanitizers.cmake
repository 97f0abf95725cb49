# AddressSanitizer + UndefinedBehaviorSanitizer for every target of the tree.
# -fno-sanitize-recover=all makes a UBSan finding abort, so the test fails;
# float-cast-overflow is not part of GCC's "undefined" group.
if(PULLBAY_SANITIZE)
  set(PULLBAY_SANITIZER_FLAGS
      -fsanitize=address,undefined,float-cast-overflow
      -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
  add_compile_options(${PULLBAY_SANITIZER_FLAGS})
  add_link_options(${PULLBAY_SANITIZER_FLAGS})
endif()

# ThreadSanitizer, for the multi-threaded suites. It cannot share a process
# with AddressSanitizer. -O1: at -O0 the instrumented suite runs several
# times slower; the build type's -g keeps the reports' lines.
if(PULLBAY_TSAN)
  if(PULLBAY_SANITIZE)
    message(FATAL_ERROR "PULLBAY_TSAN and PULLBAY_SANITIZE exclude each other")
  endif()
  set(PULLBAY_TSAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
  add_compile_options(${PULLBAY_TSAN_FLAGS} -O1)
  add_link_options(${PULLBAY_TSAN_FLAGS})
endif()

# libFuzzer: every target instrumented for coverage, with AddressSanitizer
# and UndefinedBehaviorSanitizer (a finding aborts); the fuzz programs add
# libFuzzer's main (fuzz/CMakeLists.txt). Clang only.
if(PULLBAY_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "PULLBAY_FUZZ needs clang: CC=clang CXX=clang++")
  endif()
  if(PULLBAY_SANITIZE OR PULLBAY_TSAN)
    message(FATAL_ERROR "PULLBAY_FUZZ brings its own sanitizers")
  endif()
  set(PULLBAY_FUZZ_FLAGS
      -fsanitize=fuzzer-no-link,address,undefined
      -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
  add_compile_options(${PULLBAY_FUZZ_FLAGS})
  add_link_options(-fsanitize=address,undefined)
endif()
