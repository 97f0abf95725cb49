# AddressSanitizer + UndefinedBehaviorSanitizer for every target of the tree.
# -fno-sanitize-recover=all makes a UBSan finding abort, so the test fails;
# float-cast-overflow is not part of GCC's "undefined" group.
if(PULLBAY_SANITIZE)
  set(PULLBAY_SANITIZER_FLAGS
      -fsanitize=address,undefined,float-cast-overflow
      -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
  add_compile_options(${PULLBAY_SANITIZER_FLAGS})
  add_link_options(${PULLBAY_SANITIZER_FLAGS})
endif()
