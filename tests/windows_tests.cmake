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

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(e2ePreset win32)
  # The shipped exe under emulation: the full check once, and a scratch file over 2 GiB,
  # which it must measure with 64-bit offsets.
  set(e2eScenarios full long-scratch)
  # full runs from the unpacked release zip, in a folder with blanks and non-ASCII letters.
  set(e2e_full_options --zip=${CMAKE_BINARY_DIR}/spindlework-${PROJECT_VERSION}-win32.zip)
else()
  set(e2ePreset win64)
  set(e2eScenarios full close-writing close-copying second-run
    # Faults and hostile conditions: nothing lost, no hang, exit code 0.
    long-scratch read-only-scratch no-create copy-replaced copy-read-only disk-full
    stdout-file stdout-gone stdout-none)
  # Long use, two programs at once, a person at the window, the window closed before the job.
  list(APPEND e2eScenarios soak two-instances handled close-pause)
endif()
# The copy phase through a copy stand-in that calls the progress routine: its report lines
# on a file, a pipe and a real console, in both builds. (Under qemu-i386 the probe makes its
# console calls on a thread of its own: see probe.cpp.)
list(APPEND e2eScenarios copy-report-file copy-report-pipe copy-report-console copy-report-narrow)
foreach(scenario IN LISTS e2eScenarios)
  add_test(NAME e2e_${scenario}
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e/run-e2e ${e2ePreset} ${scenario} ${CMAKE_BINARY_DIR} ${e2e_${scenario}_options})
  # Liveness only: a run moves about 4 GB through the disk and Wine, slower under emulation.
  # RUN_SERIAL: each run needs 2 GB of scratch files (4.4 GB for long-scratch) and Wine runs
  # one at a time anyway. 77: the scenario needs mounts that this machine does not allow.
  set_tests_properties(e2e_${scenario} PROPERTIES TIMEOUT 1800 LABELS "wine;e2e" RUN_SERIAL TRUE
    SKIP_RETURN_CODE 77)
endforeach()
