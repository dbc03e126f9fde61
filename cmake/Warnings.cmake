# Our own targets build with strict warnings; with KPX_WERROR (the test
# script and CI) a warning fails the build.
function(kpx_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wunused -Woverloaded-virtual
    -Wconversion -Wsign-conversion -Wnull-dereference -Wformat=2 -Wimplicit-fallthrough)
  if(KPX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  get_target_property(type ${target} TYPE)
  if(TARGET kpxsanitizerdefaults AND type STREQUAL "EXECUTABLE")
    target_link_libraries(${target} PRIVATE kpxsanitizerdefaults)
  endif()
endfunction()
