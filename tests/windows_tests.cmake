# End-to-end tests: the real program under Wine, driven from outside by e2e_driver the
# way any other program would see it (tests/e2e/run-e2e runs one scenario).
add_executable(e2e_driver ${CMAKE_CURRENT_LIST_DIR}/e2e/driver.cpp ${CMAKE_CURRENT_LIST_DIR}/e2e/long_use.cpp
  ${CMAKE_CURRENT_LIST_DIR}/e2e/copy_reports.cpp)
target_link_libraries(e2e_driver PRIVATE comctl32 user32 gdi32)
target_link_options(e2e_driver PRIVATE -static)
# The driver's hook, loaded into the program's process to read the button's font.
add_library(e2e_probe SHARED ${CMAKE_CURRENT_LIST_DIR}/e2e/probe.cpp ${CMAKE_CURRENT_LIST_DIR}/e2e/copy_stand_in.cpp
  ${CMAKE_CURRENT_LIST_DIR}/e2e/import_slot.cpp)
target_link_libraries(e2e_probe PRIVATE user32 gdi32)
# It also reads the program's counts of handles, objects, threads and memory.
target_link_libraries(e2e_probe PRIVATE psapi ntdll)
target_link_options(e2e_probe PRIVATE -static -Wl,--kill-at)
set_target_properties(e2e_probe PROPERTIES PREFIX "" OUTPUT_NAME e2e_probe)
set_target_properties(e2e_driver e2e_probe PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR} LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(e2e_driver e2e_probe spindlework)

# The scenarios and the builds they run on, from the one list that run-e2e reads too.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(e2ePreset win32)
  # full runs from the unpacked release zip, in a folder with blanks and non-ASCII letters.
  set(e2e_full_options --zip=${CMAKE_BINARY_DIR}/spindlework-${PROJECT_VERSION}-win32.zip)
else()
  set(e2ePreset win64)
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/e2e/scenarios)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/e2e/scenarios scenarioLines REGEX "^[a-z]")
foreach(scenarioLine IN LISTS scenarioLines)
  string(REGEX MATCH "^([a-z0-9-]+) *[|]([^|]*)[|]" ignored "${scenarioLine}")
  set(scenario ${CMAKE_MATCH_1})
  if(NOT " ${CMAKE_MATCH_2} " MATCHES " ${e2ePreset} ")
    continue()
  endif()
  add_test(NAME e2e_${scenario}
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/run-e2e ${e2ePreset} ${scenario} ${CMAKE_BINARY_DIR} ${e2e_${scenario}_options})
  # Liveness only: a run moves about 4 GB through the disk and Wine, slower under emulation.
  # RUN_SERIAL: each run needs 2 GB of scratch files (4.4 GB for long-scratch) and Wine runs
  # one at a time anyway. 77: the scenario needs mounts that this machine does not allow.
  set_tests_properties(e2e_${scenario} PROPERTIES TIMEOUT 1800 LABELS "wine;e2e" RUN_SERIAL TRUE
    SKIP_RETURN_CODE 77)
endforeach()
