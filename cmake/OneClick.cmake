# Shared helpers for the subsystem and test folders.

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

# oneclick_add_test(NAME SOURCES... [DEPS targets...] [GUI]): a GoogleTest binary under CTest.
# Every test gets its own temporary HOME and XDG folders from the test-support main.
function(oneclick_add_test name)
  cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE oneclick_testsupport_gui ${ARG_DEPS})
  else()
    target_link_libraries(${name} PRIVATE oneclick_testsupport ${ARG_DEPS})
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ONECLICK_SOURCE_DIR=${PROJECT_SOURCE_DIR};ONECLICK_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# oneclick_test_folder(DEPS targets...): every *Test.cpp in the folder becomes its own test
# binary test_<name>; files ending in GuiTest.cpp run under a QApplication (offscreen).
function(oneclick_test_folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  foreach(test ${tests})
    get_filename_component(stem ${test} NAME_WE)
    string(REGEX REPLACE "Test$" "" stem ${stem})
    string(TOLOWER ${stem} lower)
    if(test MATCHES "GuiTest\\.cpp$")
      oneclick_add_test(test_${lower} SOURCES ${test} DEPS ${ARG_DEPS} GUI)
    else()
      oneclick_add_test(test_${lower} SOURCES ${test} DEPS ${ARG_DEPS})
    endif()
  endforeach()
endfunction()
