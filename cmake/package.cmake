# The release archive (cmake --build --preset win32 --target package): the exe, the licence
# and a README for a person on Windows, both texts in CR LF, in
# spindlework-<version>-win32.zip, with SHA256SUMS beside it.
configure_file(${CMAKE_SOURCE_DIR}/docs/zip-readme.txt ${CMAKE_BINARY_DIR}/release/README.txt
  @ONLY NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/release/LICENSE.txt
  @ONLY NEWLINE_STYLE CRLF)
install(TARGETS spindlework DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/release/README.txt ${CMAKE_BINARY_DIR}/release/LICENSE.txt
  DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# CPack's zip carries the files' times and owners: the finishing script normalises them.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package_finish.cmake)
set(CPACK_SPINDLEWORK_SOURCE_DIR ${CMAKE_SOURCE_DIR})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
