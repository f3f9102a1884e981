# vl_add_folders(folder...): adds the named folders below the current source
# folder, in the order given. A misspelt name fails, and so does a folder with
# build files that is not named: no folder is skipped without a word.
function(vl_add_folders)
    file(GLOB _vl_found RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
         ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt ${CMAKE_CURRENT_SOURCE_DIR}/ui/*/CMakeLists.txt)
    foreach(_vl_file IN LISTS _vl_found)
        get_filename_component(_vl_dir ${_vl_file} DIRECTORY)
        if(NOT _vl_dir IN_LIST ARGN)
            message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${_vl_dir} has build files but is not named")
        endif()
    endforeach()
    foreach(_vl_dir IN LISTS ARGN)
        add_subdirectory(${_vl_dir})
    endforeach()
endfunction()
