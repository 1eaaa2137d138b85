# Runs one command-line case and checks what it did.
#   -DCOMMAND=<;-list>      the command and its arguments
#   -DWORKDIR=<dir>         fresh directory to run in (emptied first)
#   -DEXPECT_RC=<n>         expected exit status
#   -DEXPECT_STDOUT=<regex> optional
#   -DEXPECT_STDERR=<regex> optional
#   -DEXPECT_FILE=<name>    optional: file the command must write in WORKDIR ...
#   -DMATCH=<path>          ... byte for byte equal to this one
#   -DEXPECT_NO_FILE=<name> optional: file that must not exist afterwards
#   -DREFERENCE=<;-list>    optional: command that writes MATCH first
file(REMOVE_RECURSE "${WORKDIR}")
file(MAKE_DIRECTORY "${WORKDIR}")
if(REFERENCE)
  execute_process(COMMAND ${REFERENCE} RESULT_VARIABLE ref_rc)
  if(NOT ref_rc EQUAL 0)
    message(FATAL_ERROR "reference command failed: ${ref_rc}")
  endif()
endif()
execute_process(COMMAND ${COMMAND}
  WORKING_DIRECTORY "${WORKDIR}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT "${rc}" STREQUAL "${EXPECT_RC}")
  message(FATAL_ERROR "exit status ${rc}, expected ${EXPECT_RC}\nstdout: ${out}\nstderr: ${err}")
endif()
if(DEFINED EXPECT_STDOUT AND NOT out MATCHES "${EXPECT_STDOUT}")
  message(FATAL_ERROR "stdout does not match '${EXPECT_STDOUT}':\n${out}")
endif()
if(DEFINED EXPECT_STDERR AND NOT err MATCHES "${EXPECT_STDERR}")
  message(FATAL_ERROR "stderr does not match '${EXPECT_STDERR}':\n${err}")
endif()
if(DEFINED EXPECT_FILE)
  if(NOT EXISTS "${WORKDIR}/${EXPECT_FILE}")
    message(FATAL_ERROR "${EXPECT_FILE} was not written")
  endif()
  if(DEFINED MATCH)
    file(READ "${WORKDIR}/${EXPECT_FILE}" got HEX)
    file(READ "${MATCH}" want HEX)
    if(NOT got STREQUAL want)
      message(FATAL_ERROR "${EXPECT_FILE} differs from ${MATCH}")
    endif()
  endif()
endif()
if(DEFINED EXPECT_NO_FILE AND EXISTS "${WORKDIR}/${EXPECT_NO_FILE}")
  message(FATAL_ERROR "${EXPECT_NO_FILE} should not have been written")
endif()
