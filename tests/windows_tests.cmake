# End-to-end tests: the real program under Wine, driven from outside by e2e_driver the way any
# other program would see it, with e2e_probe inside it (tests/e2e/run-e2e runs one scenario).
# The benchmark's driver takes the same program library and probe.
add_library(e2e_program STATIC ${CMAKE_CURRENT_LIST_DIR}/e2e/program.cpp)
target_include_directories(e2e_program PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/e2e)
add_executable(e2e_driver ${CMAKE_CURRENT_LIST_DIR}/e2e/driver.cpp)
target_link_libraries(e2e_driver PRIVATE e2e_program comctl32)
add_library(e2e_probe SHARED ${CMAKE_CURRENT_LIST_DIR}/e2e/probe.cpp ${CMAKE_CURRENT_LIST_DIR}/copy_stand_in.cpp
  ${CMAKE_CURRENT_LIST_DIR}/e2e/import_slot.cpp)
target_include_directories(e2e_probe PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_options(e2e_probe PRIVATE -Wl,--kill-at)
set_target_properties(e2e_probe PROPERTIES PREFIX "" OUTPUT_NAME e2e_probe)
set_target_properties(e2e_driver e2e_probe PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR} LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(e2e_driver e2e_probe spindlework)

# The scenarios this build runs, as run-e2e reads them from its list (tests/e2e/scenarios).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(e2ePreset win32)
  # full runs from the unpacked release zip, in a folder with blanks and non-ASCII letters.
  set(e2e_full_options --zip=${CMAKE_BINARY_DIR}/spindlework-${PROJECT_VERSION}-win32.zip)
else()
  set(e2ePreset win64)
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/e2e/scenarios)
execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/run-e2e --list ${e2ePreset} OUTPUT_VARIABLE scenarios
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "\n" ";" scenarios "${scenarios}")
foreach(scenario IN LISTS scenarios)
  add_test(NAME e2e_${scenario}
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/run-e2e ${e2ePreset} ${scenario} ${CMAKE_BINARY_DIR} ${e2e_${scenario}_options})
  # A bound for a run that hangs past the driver's own (60 s with nothing new); RUN_SERIAL: each
  # run needs 2 GB of scratch files (4.4 GB for long-scratch). 77: the mounts it needs are refused.
  set_tests_properties(e2e_${scenario} PROPERTIES TIMEOUT 1800 LABELS "wine;e2e" RUN_SERIAL TRUE
    SKIP_RETURN_CODE 77)
endforeach()
