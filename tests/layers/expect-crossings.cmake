# Runs the layer check on a sample tree holding one of each wrong include and expects it to fail
# with each of them named, and nothing else. Run with -DCHECK=<CheckLayers.cmake> -DROOT=<sample tree>
# -DWIDGETS_HEADERS=<QtWidgets include dir>.
execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${ROOT} -DWIDGETS_HEADERS=${WIDGETS_HEADERS} -P ${CHECK}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(out "${out}${err}")
if(status EQUAL 0)
    message(FATAL_ERROR "The layer check passed a tree with wrong includes:\n${out}")
endif()
set(expected
    "core/base/upward.cpp:4: includes core/platform/mycontext.h: core/base comes before core/platform"
    "core/base/widgetheader.h:1: includes QPushButton: the core does not use QtWidgets"
    "core/files/widgetsfolder.cpp:1: includes QtWidgets/QLabel: the core does not use QtWidgets"
    "core/files/widgetsfolder.cpp:2: includes widgets/common/mydialog.h: the core does not include widgets"
    "widgets/common/upward.cpp:2: includes widgets/shell/titlebar.h: widgets/common comes before widgets/shell"
    "widgets/common/upward.cpp:3: includes app/main.h: only main() lives in app/")
foreach(line IN LISTS expected)
    string(FIND "${out}" "${line}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "The layer check did not report \"${line}\":\n${out}")
    endif()
endforeach()
string(REGEX MATCHALL ": includes " reported "${out}")
list(LENGTH reported count)
list(LENGTH expected wanted)
if(NOT count EQUAL wanted)
    message(FATAL_ERROR "The layer check reported ${count} includes, expected ${wanted}:\n${out}")
endif()
