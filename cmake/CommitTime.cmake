# kalvorn_commit_time(VAR SOURCE): the time of the commit checked out in
# SOURCE, in seconds since 1970; 1980-01-01 (the first time a zip can hold)
# outside a git checkout.
function(kalvorn_commit_time var source)
  set(epoch 315532800)
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${source} log -1 --format=%ct
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE result ERROR_QUIET)
    if(result EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
      set(epoch ${commit_time})
    endif()
  endif()
  set(${var} ${epoch} PARENT_SCOPE)
endfunction()
