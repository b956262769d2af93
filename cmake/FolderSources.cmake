# Adds every source of the calling folder to the tessaly library.
# Files ending in _win.cpp are built on Windows only, files ending in _unix.cpp everywhere else;
# main.cpp is left for the executable.
function(tessaly_add_folder_sources)
    file(GLOB _sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    list(FILTER _sources EXCLUDE REGEX "/main\\.cpp$")
    if(WIN32)
        list(FILTER _sources EXCLUDE REGEX "_unix\\.cpp$")
    else()
        list(FILTER _sources EXCLUDE REGEX "_win\\.cpp$")
    endif()
    target_sources(tessaly PRIVATE ${_sources})
endfunction()
