# Help files the reader and viewer tests (and the help benchmark) open,
# compiled with chmcmd at build time into ${KPX_HELP_TEST_DIR}.
# Where they are, for every folder that includes this file; the rest only once.
set(KPX_HELP_TEST_DIR ${CMAKE_BINARY_DIR}/help-test-files)
set(KPX_HELP_TEST_SOURCES ${CMAKE_CURRENT_LIST_DIR}/files)
# A large real help file nobody here wrote, from Debian's lazarus-doc-2.2.
set(KPX_REAL_HELP_FILE /usr/share/doc/lazarus/2.2.6/lcl.chm)
include_guard(GLOBAL)
find_program(KPX_CHMCMD chmcmd REQUIRED)

# kpx_compile_help(<project.hhp> <folder with the sources> <source files...>):
# ${KPX_HELP_TEST_DIR}/<project>.chm. The compiler writes beside the
# project, so it works on a copy.
function(kpx_compile_help hhp folder)
  get_filename_component(name ${hhp} NAME_WE)
  set(stage ${KPX_HELP_TEST_DIR}/stage-${name})
  set(sources ${folder}/${hhp})
  foreach(f ${ARGN})
    list(APPEND sources ${folder}/${f})
  endforeach()
  file(MAKE_DIRECTORY ${stage})
  add_custom_command(
    OUTPUT ${KPX_HELP_TEST_DIR}/${name}.chm
    COMMAND ${CMAKE_COMMAND} -E copy ${sources} ${stage}
    COMMAND ${KPX_CHMCMD} --no-html-scan --verbosity 0 ${hhp}
    COMMAND ${CMAKE_COMMAND} -E copy ${stage}/${name}.chm ${KPX_HELP_TEST_DIR}/${name}.chm
    WORKING_DIRECTORY ${stage}
    DEPENDS ${sources}
    COMMENT "Compiling the test help file ${name}.chm"
    VERBATIM)
endfunction()

# A file with several thousand topics, written by a script and compiled.
function(kpx_large_help_file count)
  set(stage ${KPX_HELP_TEST_DIR}/stage-large)
  file(MAKE_DIRECTORY ${stage})
  add_custom_command(
    OUTPUT ${KPX_HELP_TEST_DIR}/large.chm
    COMMAND ${CMAKE_COMMAND} -DSTAGE=${stage} -DCOUNT=${count} -P ${KPX_HELP_TEST_SOURCES}/MakeLargeHelp.cmake
    COMMAND ${KPX_CHMCMD} --no-html-scan --verbosity 0 large.hhp
    COMMAND ${CMAKE_COMMAND} -E copy ${stage}/large.chm ${KPX_HELP_TEST_DIR}/large.chm
    WORKING_DIRECTORY ${stage}
    DEPENDS ${KPX_HELP_TEST_SOURCES}/MakeLargeHelp.cmake
    COMMENT "Compiling the test help file large.chm (${count} topics)"
    VERBATIM)
endfunction()

if(NOT TARGET kpx_help_test_files)
  set(de_sources haupt.htm zweit.htm drei.htm draussen.htm stil.htm stil.css toc.hhc index.hhk)
  kpx_compile_help(deutsch.hhp ${KPX_HELP_TEST_SOURCES}/de ${de_sources})
  kpx_compile_help(ohne-index.hhp ${KPX_HELP_TEST_SOURCES}/de ${de_sources})
  kpx_large_help_file(3000)
  add_custom_target(kpx_help_test_files DEPENDS
    ${KPX_HELP_TEST_DIR}/deutsch.chm ${KPX_HELP_TEST_DIR}/ohne-index.chm ${KPX_HELP_TEST_DIR}/large.chm)
endif()
