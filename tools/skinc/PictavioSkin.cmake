# pictavio_compile_skin(TARGET name SOURCE description OUTPUT skin-file)
# Compiles a skin description with skinc whenever it (or skinc) changes.
# The target is built by default; later parts of the build may depend on it.
function(pictavio_compile_skin)
  cmake_parse_arguments(S "" "TARGET;SOURCE;OUTPUT" "" ${ARGN})
  if(NOT S_TARGET OR NOT S_SOURCE OR NOT S_OUTPUT)
    message(FATAL_ERROR "pictavio_compile_skin needs TARGET, SOURCE and OUTPUT")
  endif()
  get_filename_component(source ${S_SOURCE} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  get_filename_component(output ${S_OUTPUT} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_BINARY_DIR})
  get_filename_component(output_dir ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
    COMMAND skinc ${source} ${output}
    DEPENDS skinc ${source}
    COMMENT "Compiling skin ${S_SOURCE}"
    VERBATIM)
  add_custom_target(${S_TARGET} ALL DEPENDS ${output})
endfunction()
