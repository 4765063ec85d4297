# labcore_add_subsystem_folders()
# Adds every folder below the current source folder that has a CMakeLists.txt,
# so that each subsystem keeps its tests, benchmarks or fuzz targets in a
# folder of its own without editing a shared list.
function(labcore_add_subsystem_folders)
    file(GLOB dirs LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} *)
    list(SORT dirs)
    foreach(dir IN LISTS dirs)
        if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${dir}
           AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
            add_subdirectory(${dir})
        endif()
    endforeach()
endfunction()
