# Man pages made from the programs' own --help and --version by help2man at build time, so
# they always tell what the program does; NAME.h2m beside the program adds the sections
# that --help does not hold (FILES, EXAMPLES, ...).
find_program(HELP2MAN_EXECUTABLE help2man)
if(NOT HELP2MAN_EXECUTABLE)
  message(STATUS "help2man not found: the man pages are not built")
endif()

function(covrilo_man_page target)
  if(NOT HELP2MAN_EXECUTABLE)
    return()
  endif()
  set(include_file ${CMAKE_CURRENT_SOURCE_DIR}/${target}.h2m)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            ${HELP2MAN_EXECUTABLE} --no-info --section=1 --include=${include_file} --output=${page}
            $<TARGET_FILE:${target}>
    DEPENDS ${target} ${include_file}
    COMMENT "Writing the man page ${target}.1"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
