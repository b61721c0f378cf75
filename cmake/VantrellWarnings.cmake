# Warnings on the project's own code. -Wall -Wextra are always on; making them
# errors is the test build's choice (VANTRELL_WERROR, which scripts/test.sh
# turns on), never a user's: another compiler or another optimisation level
# brings warnings of its own, false ones included, and must not stop a build.
set(VANTRELL_WARNING_FLAGS -Wall -Wextra)
if(VANTRELL_WERROR)
  list(APPEND VANTRELL_WARNING_FLAGS -Werror)
  # GCC 12 at -O2/-O3 reports -Wrestrict inside its own std::string code for
  # `"text" + std::string(...)`, where nothing can overlap (fixed in GCC 13).
  # Those reports stay visible as warnings but do not fail the test build.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    list(APPEND VANTRELL_WARNING_FLAGS -Wno-error=restrict)
  endif()
endif()

function(vantrell_warnings target)
  target_compile_options(${target} PRIVATE ${VANTRELL_WARNING_FLAGS})
endfunction()
