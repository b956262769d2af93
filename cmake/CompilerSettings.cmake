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
endif()
