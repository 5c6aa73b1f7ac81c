# cmake -DSOURCE=<source tree> -DCONFIG=<CPackConfig.cmake> -P MakeRelease.cmake
# Runs CPack with SOURCE_DATE_EPOCH set to the time of the commit being built
# (1980-01-01, the first time a zip can hold, outside a git checkout), and
# umask 022.
set(epoch 315532800)
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE} log -1 --format=%ct
                  OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE result ERROR_QUIET)
  if(result EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
    set(epoch ${commit_time})
  endif()
endif()
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
# Under the usual umask, whatever the builder's: the package's ar members
# carry the modes of the files CPack makes.
execute_process(COMMAND sh -c "umask 022 && exec \"$0\" --config \"$1\""
                        ${CMAKE_CPACK_COMMAND} ${CONFIG}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed (${result})")
endif()
