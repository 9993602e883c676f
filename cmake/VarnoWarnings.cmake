# Warnings are private to each of our targets so that third-party headers stay quiet.
function(varno_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
    return()
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-sign-conversion
    -Wnon-virtual-dtor -Woverloaded-virtual)
  # Our streams derive from the standard ones, whose members (in, out, end)
  # would make a plain -Wshadow warn on ordinary local names.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wshadow=local)
  endif()
  if(VARNO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
