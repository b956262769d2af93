# Runs CheckLayers.cmake before the core and the widgets are compiled, and whenever one of their
# files changes; an include that crosses the layers the wrong way fails the build.
set(_widgets_headers "")
foreach(_dir IN LISTS Qt5Widgets_INCLUDE_DIRS)
    if(_dir MATCHES "/QtWidgets/?$")
        set(_widgets_headers ${_dir})
    endif()
endforeach()
file(GLOB_RECURSE _layered CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/core/*.h ${CMAKE_SOURCE_DIR}/core/*.cpp
    ${CMAKE_SOURCE_DIR}/widgets/*.h ${CMAKE_SOURCE_DIR}/widgets/*.cpp)
set(TESSALY_QT_WIDGETS_HEADERS ${_widgets_headers})
set(TESSALY_LAYER_CHECK ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR} -DWIDGETS_HEADERS=${_widgets_headers}
    -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/layers.checked
    COMMAND ${TESSALY_LAYER_CHECK}
    COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/layers.checked
    DEPENDS ${_layered} ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake
    COMMENT "Checking that includes run from widgets to core only"
    VERBATIM)
add_custom_target(tessaly_layers DEPENDS ${CMAKE_BINARY_DIR}/layers.checked)
add_dependencies(tessaly_core tessaly_layers)
