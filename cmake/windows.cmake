# The Windows program, for both cross builds.
enable_language(RC)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(MANIFEST_ARCH X86)
  # Exact IEEE double arithmetic for the copy percentages: SSE2, not the x87 stack.
  add_compile_options(-msse2 -mfpmath=sse)
else()
  set(MANIFEST_ARCH amd64)
endif()
add_compile_options(-O2 -ffp-contract=off -fno-fast-math)
# No stack protector: GCC's static libssp would seed its guard through advapi32's crypto
# provider at every start, for frames that take no outside input.
# No MinGW runtime DLLs, no link timestamp: two clean builds give the same bytes.
add_link_options(-static -static-libgcc -static-libstdc++ -s -Wl,--no-insert-timestamp)

# The manifest is stored byte for byte as written (CR LF and all, so sed rather than
# CMake's text handling); the 64-bit twin names its own architecture.
set(manifestSource ${CMAKE_SOURCE_DIR}/resources/app.manifest)
set(manifestBuilt ${CMAKE_BINARY_DIR}/gen/app.manifest)
add_custom_command(OUTPUT ${manifestBuilt}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/gen
  COMMAND sed -e "s/processorArchitecture=\"X86\"/processorArchitecture=\"${MANIFEST_ARCH}\"/g"
          ${manifestSource} > ${manifestBuilt}
  DEPENDS ${manifestSource} VERBATIM)

add_executable(spindlework WIN32 shell/main.cpp shell/main_window.cpp ${TASK_SOURCES} resources/spindlework.rc)
target_include_directories(spindlework PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(spindlework PRIVATE comctl32)
# The image's hardening, as a Windows security review checks it: ASLR with the relocations
# kept, DEP, terminal-server aware; high-entropy ASLR on 64-bit. The 32-bit image registers
# no SEH handler (nothing in it writes %fs:0; its C++ unwinds with DWARF tables), so it says
# so (NO_SEH) rather than carrying a SafeSEH table, which GNU ld cannot make.
target_link_options(spindlework PRIVATE -Wl,--dynamicbase,--enable-reloc-section,--nxcompat,--tsaware)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(spindlework PRIVATE -Wl,--no-seh)
else()
  target_link_options(spindlework PRIVATE -Wl,--high-entropy-va)
endif()
set_source_files_properties(resources/spindlework.rc PROPERTIES
  OBJECT_DEPENDS ${manifestBuilt})
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I ${CMAKE_BINARY_DIR}/gen")

# Only the shipped 32-bit exe is released.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
endif()
