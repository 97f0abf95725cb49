# Fails when a C++ file of the project differs from the layout .clang-format
# gives it (clang-format --dry-run --Werror), naming the files that differ.
#   cmake -DCLANG_FORMAT=<clang-format> -DSOURCE_DIR=<project> -P CheckFormat.cmake
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/include/*.h
     ${SOURCE_DIR}/tests/*.h ${SOURCE_DIR}/tests/*.cpp
     ${SOURCE_DIR}/fuzz/*.h ${SOURCE_DIR}/fuzz/*.cpp
     ${SOURCE_DIR}/bench/*.h ${SOURCE_DIR}/bench/*.cpp)
list(LENGTH files count)
if(count EQUAL 0)
  message(FATAL_ERROR "no C++ file found under ${SOURCE_DIR}")
endif()
set(differ "")
# In batches: one process per file would take long, one for all may pass
# the command line's limit.
set(batch "")
set(index 0)
foreach(file IN LISTS files)
  list(APPEND batch ${file})
  math(EXPR index "${index} + 1")
  list(LENGTH batch size)
  if(size EQUAL 50 OR index EQUAL count)
    execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${batch}
                    WORKING_DIRECTORY ${SOURCE_DIR}
                    RESULT_VARIABLE result ERROR_VARIABLE errors OUTPUT_QUIET)
    if(NOT result EQUAL 0)
      string(REGEX MATCHALL "[^\n:]+:[0-9]+:[0-9]+: error" hits "${errors}")
      foreach(hit IN LISTS hits)
        string(REGEX REPLACE ":[0-9]+:[0-9]+: error$" "" name "${hit}")
        list(APPEND differ ${name})
      endforeach()
      if(NOT hits)
        message(FATAL_ERROR "${CLANG_FORMAT} failed:\n${errors}")
      endif()
    endif()
    set(batch "")
  endif()
endforeach()
if(differ)
  list(REMOVE_DUPLICATES differ)
  list(JOIN differ "\n  " text)
  message(FATAL_ERROR "files that differ from .clang-format (clang-format -i them):\n  ${text}")
endif()
message(STATUS "${count} files follow .clang-format")
