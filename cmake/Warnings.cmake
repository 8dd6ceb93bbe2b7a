function(avfile_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
  endif()
endfunction()

# Test tables leave trailing fields of their case records at zero.
function(avfile_test_warnings target)
  avfile_warnings(${target})
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wno-missing-field-initializers)
  endif()
endfunction()
