# Settings shared by every target of the project: link calvoria_common.
option(CALVORIA_WERROR "Treat compiler warnings as errors" OFF)
option(CALVORIA_ASAN "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(CALVORIA_TSAN "Build with ThreadSanitizer" OFF)

if(CALVORIA_ASAN AND CALVORIA_TSAN)
  message(FATAL_ERROR "CALVORIA_ASAN and CALVORIA_TSAN cannot be combined")
endif()

add_library(calvoria_common INTERFACE)
target_compile_features(calvoria_common INTERFACE cxx_std_20)
target_compile_options(calvoria_common INTERFACE
  -Wall -Wextra -Wnon-virtual-dtor -Woverloaded-virtual
  $<$<BOOL:${CALVORIA_WERROR}>:-Werror>)
target_compile_definitions(calvoria_common INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_KEYWORDS
  CALVORIA_VERSION="${PROJECT_VERSION}")

if(CALVORIA_ASAN)
  target_compile_options(calvoria_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(calvoria_common INTERFACE -fsanitize=address,undefined)
endif()
if(CALVORIA_TSAN)
  target_compile_options(calvoria_common INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(calvoria_common INTERFACE -fsanitize=thread)
endif()

# calvoria_add_test(NAME area [GUI] SOURCES ... LIBS ...): one GoogleTest executable per area,
# registered with CTest; tests run with HOME and XDG folders of their own.
function(calvoria_add_test)
  cmake_parse_arguments(T "GUI" "NAME" "SOURCES;LIBS;ENV" ${ARGN})
  set(target test_${T_NAME})
  add_executable(${target} ${T_SOURCES})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(T_GUI)
    target_link_libraries(${target} PRIVATE calvoria_common calvoria_guitestmain ${T_LIBS})
    calvoria_precompile(${target} GUITESTS)
  else()
    target_link_libraries(${target} PRIVATE calvoria_common calvoria_testmain ${T_LIBS})
    calvoria_precompile(${target} TESTS)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${target})
  set(sanitizer_env "")
  if(CALVORIA_ASAN)
    set(sanitizer_env "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/lsan.supp")
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;CALVORIA_BIN_DIR=${CMAKE_BINARY_DIR}/bin;CALVORIA_SOURCE_DIR=${CMAKE_SOURCE_DIR};${sanitizer_env};${T_ENV}"
    TIMEOUT 600)
endfunction()
