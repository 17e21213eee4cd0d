# Warnings for every target of ours; errors as well when KESTRELON_WERROR is on (CI).
function(kestrelon_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KESTRELON_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
