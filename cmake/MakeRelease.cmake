# cmake -DSOURCE=<source tree> -DCONFIG=<CPackConfig.cmake> -P MakeRelease.cmake
# Runs CPack with SOURCE_DATE_EPOCH set to the time of the commit being built.
include(${CMAKE_CURRENT_LIST_DIR}/CommitTime.cmake)
kalvorn_commit_time(epoch ${SOURCE})
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${CONFIG}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed (${result})")
endif()
