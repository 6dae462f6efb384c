# ostrel_add_test(NAME <name> SOURCES <files...> [LIBS <targets...>] [ENVIRONMENT <k=v...>]
#                 [COMMAND_PREFIX <wrapper...>] [LABELS <labels...>] [TIMEOUT <s>])
# Builds one Qt Test executable and registers it with CTest. Tests run offscreen and find
# the build tree's resources beside their executable, like the application does.
#
# Every test is also labelled with the kind of its folder (tests/<kind>/...: unit, integration, ui,
# journey), whichever way it was added, so `ctest -L unit` is the fast loop.
function(ostrel_add_test)
  if(OSTREL_TEST_KIND)
    get_property(scheduled DIRECTORY PROPERTY OSTREL_LABELS_SCHEDULED)
    if(NOT scheduled)
      set_property(DIRECTORY PROPERTY OSTREL_LABELS_SCHEDULED TRUE)
      cmake_language(DEFER CALL _ostrel_label_folder_tests)
    endif()
  endif()
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

# Adds tests/<folder>; its tests are labelled with the folder's first part (unit, integration, ui).
function(ostrel_add_test_folder folder)
  string(REGEX REPLACE "/.*" "" OSTREL_TEST_KIND ${folder})
  add_subdirectory(${folder})
  set_property(GLOBAL APPEND PROPERTY OSTREL_TEST_FOLDERS ${folder})
endfunction()

# At the end of tests/CMakeLists.txt: a test folder nobody added would silently never run.
function(ostrel_check_test_folders)
  get_property(added GLOBAL PROPERTY OSTREL_TEST_FOLDERS)
  file(GLOB present RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*/*/CMakeLists.txt)
  foreach(file ${present})
    get_filename_component(folder ${file} DIRECTORY)
    if(NOT folder IN_LIST added)
      message(FATAL_ERROR "tests/${folder} has a CMakeLists.txt but is not added in tests/CMakeLists.txt")
    endif()
  endforeach()
endfunction()

# Run at the end of a test folder: gives every test of it (Qt Test or script) the folder's kind.
function(_ostrel_label_folder_tests)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test ${tests})
    get_test_property(${test} LABELS labels)
    if(NOT labels)
      set(labels "")
    endif()
    if(NOT OSTREL_TEST_KIND IN_LIST labels)
      set_property(TEST ${test} APPEND PROPERTY LABELS ${OSTREL_TEST_KIND})
    endif()
  endforeach()
endfunction()
