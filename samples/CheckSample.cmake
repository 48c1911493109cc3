# Regenerates the sample into a scratch folder and fails when any committed
# file differs from what the generator writes now.
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND "${GENERATOR}" "${SCRATCH}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "generate-sample failed")
endif()
file(GLOB_RECURSE generated RELATIVE "${SCRATCH}" "${SCRATCH}/*")
file(GLOB_RECURSE committed RELATIVE "${SAMPLES}" "${SAMPLES}/content/*")
if(NOT generated STREQUAL committed)
    message(FATAL_ERROR "the sample's files differ: generated ${generated}, committed ${committed}")
endif()
foreach(name IN LISTS generated)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${SCRATCH}/${name}" "${SAMPLES}/${name}"
                    RESULT_VARIABLE differs)
    if(differs)
        message(FATAL_ERROR "${name} is not what generate-sample writes: run generate-sample samples")
    endif()
endforeach()
