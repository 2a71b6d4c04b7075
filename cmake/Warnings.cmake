# Every compiler warning fails the build: the program, the test fixtures and the tests.
if(MSVC)
  add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:/W4;/WX>")
else()
  add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-Wall;-Wextra;-Werror>")
endif()
