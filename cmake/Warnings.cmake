# Warning flags for the project's own targets (not for third-party code).
add_library(pullbay_warnings INTERFACE)
target_compile_options(pullbay_warnings INTERFACE -Wall -Wextra -Wpedantic)
# Shadowed locals: GCC's spelling, and clang's for the fuzz build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  target_compile_options(pullbay_warnings INTERFACE -Wshadow-uncaptured-local)
else()
  target_compile_options(pullbay_warnings INTERFACE -Wshadow=local)
endif()
if(PULLBAY_WERROR)
  target_compile_options(pullbay_warnings INTERFACE -Werror)
endif()

# Exceptions record their source file; keep the recorded path relative to the
# project so it reads the same on every machine.
add_compile_options(-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=)
