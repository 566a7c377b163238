# mdb_warnings(target [STRICT]): the project's warning set; STRICT adds -Wconversion (engine code).
function(mdb_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Werror
                         -Wno-error=deprecated-declarations)
  if(ARGN STREQUAL "STRICT")
    target_compile_options(${target} PRIVATE -Wconversion -Wno-sign-conversion)
  endif()
endfunction()
