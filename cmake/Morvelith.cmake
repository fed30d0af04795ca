# Helpers shared by the project's CMake files.

# morvelith_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# One GoogleTest executable; its cases are registered with CTest one by one.
function(morvelith_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT TARGET GTest::gtest)  # Windows trees build GoogleTest from source (tests/CMakeLists.txt)
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  # Cross-built programs run under an emulator (wine): their cases are listed
  # when CTest starts, one program after another, not while building.
  set(discovery POST_BUILD)
  if(CMAKE_CROSSCOMPILING)
    set(discovery PRE_TEST)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60 DISCOVERY_MODE ${discovery}
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()

find_package(Threads REQUIRED)

# morvelith_add_bench(<name> SOURCES <files...> LIBS <targets...>)
# A Google Benchmark executable run by the `bench` target (never by ctest).
function(morvelith_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  set(MORVELITH_BENCH_TARGETS ${MORVELITH_BENCH_TARGETS} ${name} CACHE INTERNAL "")
endfunction()

# morvelith_plugin_binary(<target> <output directory> <version script or .def>)
# A library a host loads by path: no "lib" prefix, only the entry points the
# version script names leave it (hidden visibility hides the rest, including
# what static libraries were compiled with), and nothing left unresolved.
# Windows ignores visibility: there a module-definition file (.def) lists the
# exports, and the DLL lands in the output directory as well.
function(morvelith_plugin_binary target output_dir exports)
  if(WIN32)
    target_sources(${target} PRIVATE ${exports})
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  else()
    target_link_options(${target} PRIVATE -Wl,--version-script=${exports} -Wl,--no-undefined)
  endif()
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${output_dir}
    RUNTIME_OUTPUT_DIRECTORY ${output_dir}
    LINK_DEPENDS ${exports}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()
