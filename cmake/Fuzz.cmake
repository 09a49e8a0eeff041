# libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer: configure
# with -DKESTRUNE_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ (Debian's clang and
# libclang-rt-14-dev). Every library is instrumented for coverage; only the
# fuzz targets link libFuzzer's main.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "KESTRUNE_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++")
endif()
if(KESTRUNE_SANITIZE)
  message(FATAL_ERROR "KESTRUNE_FUZZ brings its own sanitizers; leave KESTRUNE_SANITIZE empty")
endif()

set(KESTRUNE_GUI OFF)
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
  -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)

foreach(dir serial protocol console)
  add_subdirectory(${dir})
endforeach()
add_subdirectory(tests/fuzz)
