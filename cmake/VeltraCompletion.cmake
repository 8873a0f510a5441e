# cmake -DPROGRAM=veltra-cli -DSHELL=bash -DOUTPUT=file -P VeltraCompletion.cmake
# Writes what "PROGRAM completion SHELL" prints into OUTPUT, or fails.
execute_process(COMMAND ${PROGRAM} completion ${SHELL} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "${PROGRAM} completion ${SHELL} failed: ${result}")
endif()
