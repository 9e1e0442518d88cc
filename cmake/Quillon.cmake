# quillon_subsystem(NAME [DEPENDS lib...] [UI_DEPENDS lib...])
#
# Every subsystem folder src/NAME builds the static library quillon_NAME from its own *.cpp
# files (Qt-free; main.cpp excluded), and, when the GUI is built, quillon_NAME_ui from src/NAME/ui/*.cpp, which
# links Qt. New source files are picked up without editing any list. DEPENDS and UI_DEPENDS
# name only libraries of the layers below (scripts/check_layers.py checks them).
function(quillon_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;UI_DEPENDS" ${ARGN})
  file(GLOB core_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER core_sources EXCLUDE REGEX "/main\\.cpp$")  # an executable's entry point
  set(lib quillon_${name})
  if(core_sources)
    add_library(${lib} STATIC ${core_sources})
    target_include_directories(${lib} PUBLIC ${PROJECT_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
    # What a library builds on is its own business (README "Architecture", the layer table);
    # static libraries still pass these on to the link of whatever uses them.
    target_link_libraries(${lib} PUBLIC Threads::Threads PRIVATE ${ARG_DEPENDS})
  else()
    add_library(${lib} INTERFACE)
    target_include_directories(${lib} INTERFACE ${PROJECT_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(${lib} INTERFACE ${ARG_DEPENDS} Threads::Threads)
  endif()

  file(GLOB ui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp)
  if(QUILLON_GUI AND ui_sources)
    file(GLOB ui_headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.h)
    add_library(${lib}_ui STATIC ${ui_sources} ${ui_headers})
    target_link_libraries(${lib}_ui PUBLIC ${lib} Qt6::Widgets PRIVATE ${ARG_UI_DEPENDS})
    set_target_properties(${lib}_ui PROPERTIES AUTOMOC ON)
  endif()
endfunction()

# quillon_test(NAME LABEL label SOURCES file... LIBS lib... [QT] [THREADS] [TIMEOUT s]
#              [ENVIRONMENT VAR=VALUE...] [LAUNCHER program...])
#
# One GoogleTest executable registered with CTest as one test, labelled unit, integration, gui
# or e2e. QT turns on moc and links Qt Test and a main() that makes the QApplication first (GUI
# suites). THREADS marks a suite whose code under test runs threads: it also gets the label
# "threads" and belongs to the target threaded_suites, which the ThreadSanitizer build runs
# (scripts/tsan.sh). LAUNCHER runs the test through a program (tests/support/private_cron.sh).
# QUILLON_BINARY_DIR and QUILLON_SOURCE_DIR reach the test through the environment.
function(quillon_test name)
  cmake_parse_arguments(ARG "QT;THREADS" "LABEL;TIMEOUT" "SOURCES;LIBS;ENVIRONMENT;LAUNCHER" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} quillon_testsupport GTest::gtest GTest::gmock)
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE quillon_guitest_main Qt6::Widgets Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  add_test(NAME ${name} COMMAND ${ARG_LAUNCHER} $<TARGET_FILE:${name}>)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  set(labels ${ARG_LABEL})
  if(ARG_THREADS)
    list(APPEND labels threads)
    set_property(GLOBAL APPEND PROPERTY QUILLON_THREADED_SUITES ${name})
  endif()
  set_tests_properties(${name} PROPERTIES
    LABELS "${labels}"
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QUILLON_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUILLON_BINARY_DIR=${CMAKE_BINARY_DIR};ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1;QT_QPA_PLATFORM=offscreen;${ARG_ENVIRONMENT}")
endfunction()
