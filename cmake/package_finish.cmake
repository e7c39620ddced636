# Run by CPack after it made the zip: gives every entry the same time, order and attributes
# whenever it is built (Debian's strip-nondeterminism), then writes SHA256SUMS beside it.
# The time is SOURCE_DATE_EPOCH when set, else the time of the commit built.
find_program(STRIP_NONDETERMINISM strip-nondeterminism REQUIRED)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${CPACK_SPINDLEWORK_SOURCE_DIR} log -1 --format=%ct
    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE gitFailed)
  if(gitFailed)
    message(FATAL_ERROR "package: not a git checkout; set SOURCE_DATE_EPOCH")
  endif()
endif()
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND ${STRIP_NONDETERMINISM} --type zip --timestamp ${epoch} ${zip}
    COMMAND_ERROR_IS_FATAL ANY)
  file(SHA256 ${zip} sum)
  get_filename_component(name ${zip} NAME)
  # CPack moves the zip there next.
  file(WRITE ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS "${sum}  ${name}\n")
endforeach()
