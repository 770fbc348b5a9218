# Run by cpack once the zips' files are staged, before they are zipped
# (CPACK_PRE_BUILD_SCRIPTS): signs the programs when a code-signing certificate
# is given, and SHA256SUMS then lists the signed files (sign-programs.sh).
execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/sign-programs.sh ${CPACK_TEMPORARY_DIRECTORY}/release
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Signing the programs failed (above): no package is made.")
endif()
