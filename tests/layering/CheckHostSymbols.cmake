# Fails when the host program carries code of the module's inner layers: the
# host reaches the control only through the public interface and loads the
# module at run time, so no symbol of the model, engine, dialogs or control
# namespaces may be defined in it.
#   cmake -DNM=<nm> -DBINARY=<pullbay> -P CheckHostSymbols.cmake
execute_process(COMMAND ${NM} -C --defined-only ${BINARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${BINARY}")
endif()
# The host's own code is there: the check reads a real symbol table.
if(NOT symbols MATCHES "pullbay::host::")
  message(FATAL_ERROR "no symbol of pullbay::host in ${BINARY}: not the host program?")
endif()
string(REGEX MATCHALL "[^\n]*pullbay::(model|engine|dialogs|control)::[^\n]*" inner "${symbols}")
if(inner)
  list(LENGTH inner count)
  list(SUBLIST inner 0 10 first)
  list(JOIN first "\n  " text)
  message(FATAL_ERROR "${count} symbols of the module's inner layers in ${BINARY}, among them:\n  ${text}")
endif()
message(STATUS "the host program holds no code of the module's inner layers")
