# Project-wide warning policy: on, and treated as errors. (No -Wnon-virtual-dtor:
# COM interfaces have no virtual destructor by design.)
function(vtx_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                             -Wconversion -Wno-sign-conversion -Werror)
endfunction()
