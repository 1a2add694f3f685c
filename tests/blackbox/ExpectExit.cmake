# Runs one program and checks its exit code and, optionally, its output (either stream).
#   cmake -DEXPECT_CODE=N [-DEXPECT_OUTPUT=regex] -DCOMMAND="a;b;c" -P ExpectExit.cmake
execute_process(COMMAND ${COMMAND} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err
                TIMEOUT 120)
message("${out}${err}")
if(NOT "${code}" STREQUAL "${EXPECT_CODE}")
    message(FATAL_ERROR "exit code ${code}, expected ${EXPECT_CODE}")
endif()
if(DEFINED EXPECT_OUTPUT AND NOT "${out}${err}" MATCHES "${EXPECT_OUTPUT}")
    message(FATAL_ERROR "output does not match: ${EXPECT_OUTPUT}")
endif()
