# Project-wide compile options: warnings for our own code, and the sanitizers.
add_library(kestrune_options INTERFACE)
target_compile_options(kestrune_options INTERFACE -Wall -Wextra -Wpedantic)
if(KESTRUNE_WERROR)
  target_compile_options(kestrune_options INTERFACE -Werror)
endif()

if(KESTRUNE_SANITIZE)
  add_compile_options(-fsanitize=${KESTRUNE_SANITIZE} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${KESTRUNE_SANITIZE})
  if(KESTRUNE_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()

# kestrune_add_test(<name> SOURCES ... LIBS ... [LABELS ...] [ENVIRONMENT VAR=value ...])
# One GoogleTest executable; its cases are registered with CTest one by one.
# Label "tsan" marks the thread-heavy suites that the ThreadSanitizer build runs.
# ENVIRONMENT: variables the cases run with (a locale for collation, say).
function(kestrune_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main kestrune_options)
  set(properties TIMEOUT 300)
  if(T_LABELS)
    list(APPEND properties LABELS "${T_LABELS}")
  endif()
  if(T_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()
