# The Windows build's additions, included by the top-level CMakeLists when WIN32: the
# wide-API seams linked into every program, and the programs' static runtime.
add_library(kavlo_windows STATIC ${CMAKE_CURRENT_LIST_DIR}/Windows.cpp)
target_include_directories(kavlo_windows PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kavlo_windows PUBLIC shell32)
target_link_options(kavlo_windows INTERFACE
  "LINKER:--wrap=fopen,--wrap=remove,--wrap=rename,--wrap=chdir,--wrap=access,--wrap=getcwd")
# localtime_r and its kin, which mingw-w64 declares only when asked.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS)
# mingw-w64's GL/gl.h includes all of windows.h unless these are given, and windows.h's
# macros (CreateWindow, among others) would rename the system's own functions. The values
# are windows.h's own, so a file that includes it as well sees the same definitions.
add_compile_definitions(WINAPI=__stdcall CALLBACK=__stdcall APIENTRY=WINAPI "DECLSPEC_IMPORT=__declspec (dllimport)"
                        WINGDIAPI=DECLSPEC_IMPORT)
add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/PosixCompat.h>")
# Every target made after this line links it.
link_libraries(kavlo_windows)
# No libstdc++, libgcc or winpthread DLLs beside the programs: the runtime is linked in.
# SDL2 and libsndfile stay DLLs, as their import libraries are named by full path.
add_link_options(-static)
# kavlo is a GUI program: no console window opens when it is double-clicked.
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL
  set_target_properties kavlo PROPERTIES WIN32_EXECUTABLE ON)
