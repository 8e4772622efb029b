# Compiler settings shared by every target of the project.

if(VEL_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(VEL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VEL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VEL_SANITIZE must be empty, address or thread (got '${VEL_SANITIZE}')")
endif()

if(VEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VEL_FUZZ=ON needs clang: configure with -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
  endif()
  # Everything is instrumented for coverage; only the fuzz targets link the libFuzzer main.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings as errors on our own code (applied per target, not to third-party code).
function(vel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# add_subdirectory of a folder that must have a CMakeLists.txt: a folder that lost it is an error,
# not silently skipped.
function(vel_add_folder dir)
  if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    message(FATAL_ERROR "${dir} has no CMakeLists.txt")
  endif()
  add_subdirectory(${dir})
endfunction()

# Stops the configuration when library vel_<layer> links a vel_* library of its own layer or of
# one above it in VEL_LAYERS (the root CMakeLists.txt), or of no layer at all.
function(vel_check_layers name)
  string(REGEX REPLACE "^vel_" "" own ${name})
  list(FIND VEL_LAYERS ${own} own_rank)
  if(own_rank LESS 0)
    message(FATAL_ERROR "${name}: ${own} is not in VEL_LAYERS (root CMakeLists.txt)")
  endif()
  foreach(lib ${ARGN})
    if(lib MATCHES "^vel_(.+)$")
      list(FIND VEL_LAYERS ${CMAKE_MATCH_1} rank)
      if(rank LESS 0 OR rank GREATER_EQUAL own_rank)
        message(FATAL_ERROR "${name} links ${lib}, which is not a layer below ${own} in "
                            "VEL_LAYERS (${VEL_LAYERS}): dependencies point down only")
      endif()
    endif()
  endforeach()
endfunction()

# A static library of one subsystem (layer): vel_library(name SOURCES ... LIBS ...)
function(vel_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  vel_check_layers(${name} ${A_LIBS})
  if(NOT A_SOURCES)
    # A subsystem with headers only (or none yet) is an interface library.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${A_LIBS})
    return()
  endif()
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
  vel_warnings(${name})
endfunction()

# A GoogleTest executable registered with CTest: vel_test(name SOURCES ... LIBS ... [ENV k=v ...])
function(vel_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} vel_testsupport GTest::gtest GTest::gtest_main Threads::Threads)
  vel_warnings(${name})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT ${A_TIMEOUT} ENVIRONMENT "${A_ENV}")
endfunction()

# The one test executable of a test folder: every *_test.cpp of the calling folder (a new file is
# picked up at the next build) plus SOURCES, as target test_<folder>, each test registered with
# CTest on its own. vel_test_folder([SOURCES ...] LIBS ... [ENV k=v ...] [TIMEOUT s]); the
# caller reads the target name from VEL_TEST_TARGET.
function(vel_test_folder)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  vel_test(test_${folder} SOURCES ${tests} ${A_SOURCES} LIBS ${A_LIBS} ENV ${A_ENV}
           TIMEOUT ${A_TIMEOUT})
  target_include_directories(test_${folder} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  set(VEL_TEST_TARGET test_${folder} PARENT_SCOPE)
endfunction()

# A libFuzzer target, built only with -DVEL_FUZZ=ON: vel_fuzzer(name SOURCES ... LIBS ...)
function(vel_fuzzer name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(VEL_FUZZ)
    add_executable(${name} ${A_SOURCES})
    target_link_libraries(${name} PRIVATE ${A_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    vel_warnings(${name})
  endif()
endfunction()
