# quorvel-cli inspect on a model without read permission. Root reads it
# anyway, so as root the command runs as nobody (setpriv).
#   -DCLI=<quorvel-cli> -DMODEL=<a good .ply> -DWORKDIR=<fresh directory>
file(REMOVE_RECURSE "${WORKDIR}")
file(MAKE_DIRECTORY "${WORKDIR}")
file(CHMOD "${WORKDIR}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)
file(COPY_FILE "${MODEL}" "${WORKDIR}/locked.ply")
execute_process(COMMAND chmod 000 "${WORKDIR}/locked.ply" COMMAND_ERROR_IS_FATAL ANY)

set(run)
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(uid STREQUAL "0")
  find_program(SETPRIV setpriv)
  if(NOT SETPRIV)
    message("SKIPPED: running as root without setpriv")
    return()
  endif()
  set(run ${SETPRIV} --reuid=nobody --regid=nogroup --clear-groups)
  # nobody must reach the program and the folder.
  execute_process(COMMAND ${run} ${CLI} --version RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(NOT rc EQUAL 0)
    message("SKIPPED: nobody cannot run ${CLI}")
    return()
  endif()
endif()

execute_process(COMMAND ${run} ${CLI} inspect "${WORKDIR}/locked.ply"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "exit status ${rc}, expected 1\nstdout: ${out}\nstderr: ${err}")
endif()
if(NOT out MATCHES "result: failed \\(error 1: Can't open file\\)")
  message(FATAL_ERROR "the summary lost the import's message:\n${out}")
endif()
if(NOT err MATCHES "^quorvel-cli inspect: cannot load [^\n]*locked.ply: Can't open file \\(Permission denied\\)\n$")
  message(FATAL_ERROR "stderr lacks the system's reason:\n${err}")
endif()
