# The Windows build, included by the top CMakeLists.txt when cross-building
# with cmake/mingw-w64-x86_64.cmake: the toolkit-free core (each platform
# file chosen by its folder's CMakeLists.txt), srvtool, and the core's tests
# that need no pseudo-terminal, run under wine by ctest.

# nlohmann-json and CLI11 are headers only; Debian's copies serve any
# target. Only their own folders are put on the include path: /usr/include
# as a whole holds the host's C library headers.
set(rv_host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${rv_host_headers})
foreach(dir nlohmann CLI)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/install-deps.sh")
  endif()
  file(CREATE_LINK /usr/include/${dir} ${rv_host_headers}/${dir} SYMBOLIC)
endforeach()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${rv_host_headers})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${rv_host_headers})

# Windows 7 and later; the W functions throughout.
# _POSIX_THREAD_SAFE_FUNCTIONS: localtime_r and gmtime_r from the C library.
# _GLIBCXX_USE_POSIX_SEMAPHORE: std::counting_semaphore over winpthreads'
# sem_t (a Windows semaphore). Without it GCC 12 builds the semaphore on
# atomic waits, which on a target without futexes go through a shared pool
# of condition variables that can lose a wake-up (GCC bug 106183): the
# worker ring's thread then sleeps for ever on a posted request. The whole
# Windows build is compiled alike, so the changed layout is the same
# everywhere.
add_compile_definitions(_WIN32_WINNT=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE
                        _POSIX_THREAD_SAFE_FUNCTIONS=200112L _GLIBCXX_USE_POSIX_SEMAPHORE=1)

add_subdirectory(src)
add_subdirectory(tools/srvtool)

include(CTest)
if(BUILD_TESTING)
  # GoogleTest from Debian's sources (package googletest), built for the
  # target like the rest.
  set(rv_gtest_source /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  # It names its targets GTest::gtest and GTest::gtest_main itself.
  add_subdirectory(${rv_gtest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_subdirectory(tests/win)
endif()
