# kpx_manual(<platform> <folder>): the operator's manual of that platform
# (linux or windows), "KPX Updater.chm", and its context map "KPX Updater.ali",
# compiled into folder. assemble.py lays the platform's manual out from the
# shared topics and the platform's own; the compiler writes beside the
# project, so it works on that copy in the build tree.
include_guard(GLOBAL)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(KPX_CHMCMD chmcmd REQUIRED)

function(kpx_manual platform folder)
  set(here ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  file(GLOB sources CONFIGURE_DEPENDS ${here}/* ${here}/${platform}/*)
  set(stage ${CMAKE_CURRENT_BINARY_DIR}/manual-${platform})
  add_custom_command(
    OUTPUT "${folder}/KPX Updater.chm" "${folder}/KPX Updater.ali"
    COMMAND Python3::Interpreter ${here}/assemble.py ${platform} ${stage}
    COMMAND ${CMAKE_COMMAND} -E chdir ${stage} ${KPX_CHMCMD} --no-html-scan --verbosity 0 "KPX Updater.hhp"
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${CMAKE_COMMAND} -E copy "${stage}/KPX Updater.chm" "${stage}/KPX Updater.ali" ${folder}
    DEPENDS ${sources}
    COMMENT "Compiling the ${platform} manual KPX Updater.chm"
    VERBATIM)
endfunction()
