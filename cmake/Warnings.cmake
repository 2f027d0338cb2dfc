# Warnings for our own targets only; Qt's and GoogleTest's headers are system headers.
function(qelpupd_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wpedantic)
endfunction()
