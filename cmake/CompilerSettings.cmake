# Strict settings shared by every target of ours.
add_library(tessaly_settings INTERFACE)
target_compile_definitions(tessaly_settings INTERFACE
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_STRICT_ITERATORS
    QT_USE_QSTRINGBUILDER
    QT_NO_FOREACH
    QT_DEPRECATED_WARNINGS)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(tessaly_settings INTERFACE
        -Wall -Wextra -Wnon-virtual-dtor -Wold-style-cast)
    if(TESSALY_WERROR)
        target_compile_options(tessaly_settings INTERFACE -Werror)
    endif()
endif()

if(TESSALY_SANITIZE)
    set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(tessaly_settings INTERFACE ${_san})
    target_link_options(tessaly_settings INTERFACE ${_san})

    # GCC 12's LeakSanitizer guesses the extent of a thread-local block that a library
    # loaded by dlopen() allocates, and on some heap addresses reads a bogus range and
    # crashes its own leak check at exit ("Tracer caught signal 11"). Qt's jpeg and
    # network-bearer plugins bring in two such libraries; loading them at start-up
    # gives their thread-local data a fixed place that the leak check reads correctly.
    set(_preloaded "")
    foreach(_lib libjpeg.so.62 libsystemd.so.0)
        find_library(_path_${_lib} NAMES ${_lib})
        if(_path_${_lib})
            string(APPEND _preloaded ",${_path_${_lib}}")
        endif()
    endforeach()
    if(_preloaded)
        target_link_options(tessaly_settings INTERFACE
            "LINKER:--push-state,--no-as-needed${_preloaded},--pop-state")
    endif()
endif()

if(WIN32)
    # The Windows headers without min/max macros and rarely used parts, in their Unicode form.
    target_compile_definitions(tessaly_settings INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN UNICODE _UNICODE)
endif()
if(MSVC)
    # Sources are UTF-8 (the Chinese string literals must survive); warnings as strict as GCC's.
    target_compile_options(tessaly_settings INTERFACE /utf-8 /W4 /permissive-)
    if(TESSALY_WERROR)
        target_compile_options(tessaly_settings INTERFACE /WX)
    endif()
endif()
