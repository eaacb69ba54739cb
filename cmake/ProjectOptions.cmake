# Compiler settings shared by every target of the project: warnings are errors in
# our own code, and the sanitizer builds instrument everything we compile.
add_library(project_options INTERFACE)
target_compile_options(project_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough -Werror)
# GCC 12 at -O2 and above warns falsely about overlapping copies inside
# std::string concatenations (GCC bug 105329), which breaks the Release build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(project_options INTERFACE -Wno-restrict)
endif()

if(TRALVEX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(TRALVEX_FUZZ)
  # Coverage for libFuzzer in everything we compile; the fuzz targets link
  # libFuzzer itself (fuzz/CMakeLists.txt).
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(TRALVEX_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Adds a GoogleTest executable whose tests ctest discovers one by one.
function(tralvex_add_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE project_options GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
