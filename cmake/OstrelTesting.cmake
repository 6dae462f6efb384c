# ostrel_add_test(NAME <name> SOURCES <files...> [LIBS <targets...>] [ENVIRONMENT <k=v...>]
#                 [COMMAND_PREFIX <wrapper...>] [LABELS <labels...>] [TIMEOUT <s>])
# Builds one Qt Test executable and registers it with CTest. Tests run offscreen and find
# the build tree's resources beside their executable, like the application does.
function(ostrel_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;ENVIRONMENT;COMMAND_PREFIX;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ostrel_test_support Qt6::Test ${T_LIBS})
  add_dependencies(${T_NAME} ostrel_resources)
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND_PREFIX} $<TARGET_FILE:${T_NAME}>)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;${T_ENVIRONMENT}")
endfunction()
