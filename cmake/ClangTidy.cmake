# clang-tidy over src/ as a test of each tree, through the compile database the tree
# writes: the host tree checks the portable code, the MinGW tree the Windows files
# (Win*.cpp), which compile only against the MinGW headers.
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

if(NOT BUILD_TESTING)
  return()
endif()
set(run_clang_tidy ${PROJECT_SOURCE_DIR}/scripts/clang-tidy.sh)

if(NOT WIN32)
  add_test(NAME clang_tidy COMMAND ${run_clang_tidy} ${CMAKE_BINARY_DIR} "^src/")
elseif(MINGW AND CMAKE_CROSSCOMPILING)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine
    OUTPUT_VARIABLE mingw_target OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  # clang finds neither MinGW's libstdc++ nor its Windows headers by itself, so it gets
  # the MinGW compiler's own search path, less GCC's built-in headers (intrinsics that
  # only GCC reads): clang's own stand in for those.
  set(mingw_args --extra-arg-before=--target=${mingw_target} --extra-arg=-nostdlibinc)
  foreach(dir IN LISTS CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES)
    if(dir MATCHES "/c\\+\\+(/|$)")
      list(APPEND mingw_args --extra-arg=-isystem${dir})
    elseif(NOT dir MATCHES "/lib/gcc/")
      list(APPEND mingw_args --extra-arg=-idirafter${dir})
    endif()
  endforeach()
  add_test(NAME clang_tidy_windows
    COMMAND ${run_clang_tidy} ${CMAKE_BINARY_DIR} "^src/.*/Win[^/]*\\.cpp$" ${mingw_args})
endif()
