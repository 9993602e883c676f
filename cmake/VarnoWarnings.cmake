# Warnings are private to each of our targets so that third-party headers stay quiet.
function(varno_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local
      -Wno-sign-conversion -Wnon-virtual-dtor -Woverloaded-virtual)
    if(VARNO_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()
