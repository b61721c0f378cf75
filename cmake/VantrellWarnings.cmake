# Warnings on the project's own code. -Wall -Wextra are always on; making them
# errors is the test build's choice (VANTRELL_WERROR, which scripts/test.sh
# turns on), never a user's: another compiler or another optimisation level
# brings warnings of its own, false ones included, and must not stop a build.
set(VANTRELL_WARNING_FLAGS -Wall -Wextra)
if(VANTRELL_WERROR)
  list(APPEND VANTRELL_WARNING_FLAGS -Werror)
endif()

function(vantrell_warnings target)
  target_compile_options(${target} PRIVATE ${VANTRELL_WARNING_FLAGS})
endfunction()
