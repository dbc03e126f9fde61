# kpx_forms(<target> <form.ui>...): generates, from each form description, the
# header "<name>.form.h" holding it as a tk::FormDescription, for the target's
# sources to include. Generated when the description changes.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(kpx_forms target)
  set(out_dir ${CMAKE_CURRENT_BINARY_DIR}/forms)
  set(generator ${PROJECT_SOURCE_DIR}/toolkit/formgen.py)
  foreach(ui ${ARGN})
    get_filename_component(ui_path ${ui} ABSOLUTE)
    get_filename_component(name ${ui} NAME_WE)
    set(header ${out_dir}/${name}.form.h)
    add_custom_command(OUTPUT ${header}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
      COMMAND Python3::Interpreter ${generator} ${ui_path} ${header}
      DEPENDS ${ui_path} ${generator}
      COMMENT "Form description ${name}.ui"
      VERBATIM)
    target_sources(${target} PRIVATE ${header})
  endforeach()
  target_include_directories(${target} PRIVATE ${out_dir})
endfunction()
