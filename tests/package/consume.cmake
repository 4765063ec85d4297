file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
    endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(f lib/cmake/LabCore/LabCoreConfig.cmake lib/cmake/LabCore/LabCoreConfigVersion.cmake
          include/labcore/core.h include/labcore/labglobal.h include/labcore/profile.h bin/dbupdate)
    if(NOT EXISTS ${prefix}/${f})
        message(FATAL_ERROR "missing from the installed package: ${f}")
    endif()
endforeach()
# A sanitized library needs the sanitizer runtime first in the consumer.
set(consumer_flags)
if(SANITIZE)
    list(APPEND consumer_flags "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined"
                               "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined")
endif()
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} ${consumer_flags})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
file(MAKE_DIRECTORY ${WORK_DIR}/run)
execute_process(COMMAND ${WORK_DIR}/build/settingsdemo
    WORKING_DIRECTORY ${WORK_DIR}/run RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the consumer failed (${rc}):\n${out}")
endif()
message(STATUS "${out}")
