# Puts beside a Windows program everything it loads at run time, so that a copy of its folder runs
# on a machine with nothing else installed: the Qt libraries and plugins, OpenSSL, libqrencode and
# the compiler's runtime libraries.

# Qt's libraries and plugins live in the prefix Qt5Core was found in.
get_target_property(_qtcore_dll Qt5::Core IMPORTED_LOCATION_RELEASE)
if(NOT _qtcore_dll)
    get_target_property(_qtcore_dll Qt5::Core IMPORTED_LOCATION)
endif()
get_filename_component(TESSALY_QT_BIN_DIR "${_qtcore_dll}" DIRECTORY)
get_filename_component(TESSALY_QT_PREFIX "${TESSALY_QT_BIN_DIR}" DIRECTORY)

# The compiler's own runtime: libstdc++, libgcc (SEH) and winpthread.
function(_tessaly_compiler_file out name)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
        OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${_path}" OR NOT EXISTS "${_path}")
        find_file(_found_${name} ${name} PATHS /usr/${CMAKE_CXX_LIBRARY_ARCHITECTURE}/lib
            /usr/x86_64-w64-mingw32/lib NO_DEFAULT_PATH)
        set(_path "${_found_${name}}")
    endif()
    if(NOT EXISTS "${_path}")
        message(FATAL_ERROR "Cannot find the compiler runtime library ${name}")
    endif()
    set(${out} "${_path}" PARENT_SCOPE)
endfunction()
# Debian ships them with their symbols (libstdc++ alone is 23 MB); the program gets stripped copies.
set(TESSALY_RUNTIME_DLLS)
set(_runtime_dir ${CMAKE_BINARY_DIR}/runtime)
file(MAKE_DIRECTORY ${_runtime_dir})
foreach(_name libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    _tessaly_compiler_file(_dll ${_name})
    if(NOT EXISTS ${_runtime_dir}/${_name} OR "${_dll}" IS_NEWER_THAN ${_runtime_dir}/${_name})
        execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded -o ${_runtime_dir}/${_name} ${_dll}
            RESULT_VARIABLE _stripped)
        if(NOT _stripped EQUAL 0)
            configure_file(${_dll} ${_runtime_dir}/${_name} COPYONLY)
        endif()
    endif()
    list(APPEND TESSALY_RUNTIME_DLLS "${_runtime_dir}/${_name}")
endforeach()

find_file(TESSALY_QRENCODE_DLL libqrencode.dll PATHS ${TESSALY_QT_PREFIX}/bin ${TESSALY_QT_PREFIX}/lib
    NO_DEFAULT_PATH REQUIRED)

# What the program ships; the offscreen platform is for the tests and scripted runs.
set(TESSALY_DEPLOY_DLLS
    ${TESSALY_QT_BIN_DIR}/Qt5Core.dll ${TESSALY_QT_BIN_DIR}/Qt5Gui.dll ${TESSALY_QT_BIN_DIR}/Qt5Widgets.dll
    ${TESSALY_QT_BIN_DIR}/Qt5Network.dll ${TESSALY_QT_BIN_DIR}/libssl-3-x64.dll
    ${TESSALY_QT_BIN_DIR}/libcrypto-3-x64.dll ${TESSALY_QRENCODE_DLL} ${TESSALY_RUNTIME_DLLS})
set(TESSALY_DEPLOY_PLUGINS
    platforms/qwindows.dll platforms/qoffscreen.dll
    imageformats/qgif.dll imageformats/qjpeg.dll imageformats/qico.dll
    styles/qwindowsvistastyle.dll)
foreach(_file IN LISTS TESSALY_DEPLOY_DLLS)
    if(NOT EXISTS "${_file}")
        message(FATAL_ERROR "Missing run-time library: ${_file}")
    endif()
endforeach()

# Copies the libraries and plugins (plus any extra DLLs named) into `dir` when `target` is built.
function(tessaly_deploy_runtime target dir)
    set(_commands COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/platforms ${dir}/imageformats ${dir}/styles
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TESSALY_DEPLOY_DLLS} ${ARGN} ${dir}/)
    foreach(_plugin IN LISTS TESSALY_DEPLOY_PLUGINS)
        get_filename_component(_sub ${_plugin} DIRECTORY)
        list(APPEND _commands COMMAND ${CMAKE_COMMAND} -E copy_if_different
            ${TESSALY_QT_PREFIX}/plugins/${_plugin} ${dir}/${_sub}/)
    endforeach()
    add_custom_command(TARGET ${target} POST_BUILD ${_commands} VERBATIM)
endfunction()
