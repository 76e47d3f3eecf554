# pictavio_module(NAME DIR [SOURCES extra...] [EXCLUDE files...] [DEPS targets...])
# Builds the static library NAME from every .cpp in DIR (minus EXCLUDE).
# A folder without sources yet gives an interface library, so later
# modules can name it as a dependency from the start.
function(pictavio_module name dir)
  cmake_parse_arguments(M "" "" "SOURCES;EXCLUDE;DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  foreach(excluded ${M_EXCLUDE})
    list(REMOVE_ITEM sources ${dir}/${excluded})
  endforeach()
  foreach(extra ${M_SOURCES})
    if(EXISTS ${extra})
      list(APPEND sources ${extra})
    endif()
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${M_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${M_DEPS})
  endif()
endfunction()

# pictavio_test(AREA DEPS...): one GoogleTest executable per test folder.
function(pictavio_test area)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${area}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(tests_${area} ${sources})
  target_link_libraries(tests_${area} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(tests_${area} PRIVATE
    PICTAVIO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    PICTAVIO_BINARY_DIR="${CMAKE_BINARY_DIR}"
    PICTAVIO_PROGRAM_DIR="${PICTAVIO_PROGRAM_DIR}"
    PICTAVIO_TOOLS_DIR="${PICTAVIO_TOOLS_DIR}")
  gtest_discover_tests(tests_${area} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "PICTAVIO_TEST=1")
endfunction()
