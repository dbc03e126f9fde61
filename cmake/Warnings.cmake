# Our own targets build with strict warnings; in CI (KPX_WERROR, the default)
# a warning fails the build.
function(kpx_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wunused -Woverloaded-virtual
    -Wconversion -Wsign-conversion -Wnull-dereference -Wformat=2 -Wimplicit-fallthrough)
  if(KPX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
