# Compiler settings shared by every target of the project.

if(CORVANE_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(CORVANE_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT CORVANE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "CORVANE_SANITIZE must be '', 'address' or 'thread'")
endif()

# Warnings for our own code. Third-party headers come in as SYSTEM includes.
function(corvane_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# corvane_add_tests(NAME name SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest binary; every test case becomes its own CTest test.
function(corvane_add_tests)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  corvane_target_defaults(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT})
  # The environment and the labels go in after discovery: gtest_discover_tests
  # splits a list value (several variables, several labels) into separate
  # arguments.
  set(env_file ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_environment.cmake)
  file(WRITE ${env_file}
    "foreach(t IN LISTS ${T_NAME}_TESTS)\n"
    "  set_tests_properties(\"\${t}\" PROPERTIES ENVIRONMENT \"CORVANE_BUILD_DIR=${CMAKE_BINARY_DIR};CORVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR};SDL_AUDIODRIVER=dummy\" LABELS \"${T_LABELS}\")\n"
    "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${env_file})
endfunction()
