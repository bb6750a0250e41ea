# Shared helpers for the subsystem and test folders.

# Precompiled headers: the standard, Qt and test headers that nearly every file includes are
# parsed once per target instead of once per file.
set(ONECLICK_STD_PCH <string> <vector> <memory> <functional> <optional> <cstdint> <map>)
set(ONECLICK_QT_PCH ${ONECLICK_STD_PCH} <QString> <QStringList> <QByteArray> <QDir> <QFile>
    <QFileInfo>)
set(ONECLICK_WIDGETS_PCH ${ONECLICK_QT_PCH} <QApplication> <QWidget> <QPainter> <QMouseEvent>)
set(ONECLICK_TEST_PCH ${ONECLICK_QT_PCH} <gtest/gtest.h> <gmock/gmock.h> <QProcess> <QThread>
    <QTimer>)
set(ONECLICK_GUI_TEST_PCH ${ONECLICK_TEST_PCH} <QApplication> <QWidget> <QPainter> <QMouseEvent>
    <QTest>)

# oneclick_pch(TARGET DEPS... | PCH headers...): the precompiled headers that fit what the target
# links, or the ones named.
function(oneclick_pch target)
  if(NOT ONECLICK_PCH)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "PCH" ${ARGN})
  if(ARG_PCH)
    target_precompile_headers(${target} PRIVATE ${ARG_PCH})
  elseif("Qt6::Widgets" IN_LIST ARGN)
    target_precompile_headers(${target} PRIVATE ${ONECLICK_WIDGETS_PCH})
  elseif("Qt6::Core" IN_LIST ARGN OR "Qt6::Gui" IN_LIST ARGN)
    target_precompile_headers(${target} PRIVATE ${ONECLICK_QT_PCH})
  else()
    target_precompile_headers(${target} PRIVATE ${ONECLICK_STD_PCH})
  endif()
endfunction()

# oneclick_library(NAME SOURCES... [DEPS targets...]): one static library per subsystem folder.
# A folder whose sources are not written yet gives an interface target, so the tree always builds.
function(oneclick_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  set(cpp ${ARG_SOURCES})
  list(FILTER cpp INCLUDE REGEX "\\.cpp$")
  if(cpp)
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    oneclick_pch(${name} ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# The sources of one subsystem folder: its own files plus the Linux implementations beside them.
function(oneclick_folder_sources out)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(UNIX)
    file(GLOB os_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/linux/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/linux/*.h)
    list(APPEND sources ${os_sources})
  endif()
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

# oneclick_test_folder(DEPS targets... [TIMEOUT seconds]): every *Test.cpp of the folder in one
# test program, test_<folder>; CTest lists and runs each case on its own (in parallel), so every
# case still gets a fresh process and its own temporary HOME and XDG folders. A folder with a
# *GuiTest.cpp runs under a QApplication (offscreen unless a display is asked for).
function(oneclick_test_folder)
  cmake_parse_arguments(ARG "" "TIMEOUT" "DEPS" ${ARGN})
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(name test_${folder})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_executable(${name} ${tests} ${headers})
  list(FILTER tests INCLUDE REGEX "GuiTest\\.cpp$")
  if(tests)
    target_link_libraries(${name} PRIVATE oneclick_testsupport_gui ${ARG_DEPS})
    oneclick_pch(${name} PCH ${ONECLICK_GUI_TEST_PCH})
  else()
    target_link_libraries(${name} PRIVATE oneclick_testsupport ${ARG_DEPS})
    oneclick_pch(${name} PCH ${ONECLICK_TEST_PCH})
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} TEST_PREFIX "${folder}." DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()
