# Warnings for the project's own targets.
function(trv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()
