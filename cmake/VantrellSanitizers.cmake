# The test build runs under AddressSanitizer (with LeakSanitizer) and
# UndefinedBehaviorSanitizer; any report fails the run.
if(VANTRELL_SANITIZE)
  set(VANTRELL_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${VANTRELL_SANITIZER_FLAGS})
  add_link_options(${VANTRELL_SANITIZER_FLAGS})
endif()
