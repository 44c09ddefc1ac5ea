# Flags shared by the library, its tests, tools and benchmarks, carried by one interface target.
# Floating-point results must be reproducible: no fast-math and no contraction into FMA, because
# the arithmetic of several operations is specified step by step in float.
add_library(iximage_options INTERFACE)
target_compile_options(iximage_options INTERFACE
  -Wall -Wextra -Wpedantic
  -ffp-contract=off
  $<$<BOOL:${IXIMAGE_WARNINGS_AS_ERRORS}>:-Werror>)

if(IXIMAGE_SANITIZE)
  target_compile_options(iximage_options INTERFACE
    -fsanitize=${IXIMAGE_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(iximage_options INTERFACE -fsanitize=${IXIMAGE_SANITIZE})
endif()
