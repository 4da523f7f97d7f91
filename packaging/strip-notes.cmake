# Run by CPack on the staged files: takes out the compiler's version notes,
# which the install's plain strip leaves, as Debian's own packages do.
find_program(OBJCOPY objcopy REQUIRED)
file(GLOB programs ${CPACK_TEMPORARY_DIRECTORY}/usr/bin/*)
if(NOT programs)
  message(FATAL_ERROR "no programs staged in ${CPACK_TEMPORARY_DIRECTORY}/usr/bin")
endif()
foreach(program IN LISTS programs)
  execute_process(COMMAND ${OBJCOPY} --remove-section=.comment --remove-section=.note ${program}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
