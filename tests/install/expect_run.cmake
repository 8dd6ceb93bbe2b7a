# Runs one program (through the emulator, when given) and checks its exit
# code and that its output (standard output and error together) matches a
# regular expression. Lists are passed with '|' between their items:
#   cmake -DEMULATOR=a|b -DPROGRAM=p -DARGS=x|y -DEXPECT_CODE=N -DEXPECT_TEXT=REGEX -P expect_run.cmake
foreach(list EMULATOR ARGS)
  string(REPLACE "|" ";" ${list} "${${list}}")
endforeach()
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGS} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code STREQUAL EXPECT_CODE)
  message(FATAL_ERROR "exit code ${code}, expected ${EXPECT_CODE}:\n${out}${err}")
endif()
if(NOT "${out}${err}" MATCHES "${EXPECT_TEXT}")
  message(FATAL_ERROR "output does not match '${EXPECT_TEXT}':\n${out}${err}")
endif()
message(STATUS "${out}${err}")
