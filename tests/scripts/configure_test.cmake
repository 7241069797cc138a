# Configures the project itself as a new user's machine would see it:
# without an Objective-C++ compiler the driver alone configures and names
# what the tests would need; asking for the tests then fails naming the
# package; once the compiler is there the same build folder finds it, and
# loses it again when it goes.
file(REMOVE_RECURSE ${WORK})

# configure(<dir> <expect ok|fail> <env...> -- <cmake args...>)
function(configure dir expect)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "ENV;ARGS")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env ${arg_ENV}
            ${CMAKE_COMMAND} -G ${GENERATOR} -S ${SOURCE} -B ${WORK}/${dir} ${arg_ARGS}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(expect STREQUAL ok AND NOT result EQUAL 0)
    message(FATAL_ERROR "configure of ${dir} ${arg_ARGS} failed:\n${out}")
  elseif(expect STREQUAL fail AND result EQUAL 0)
    message(FATAL_ERROR "configure of ${dir} ${arg_ARGS} succeeded, it should fail:\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(cached dir var out_var)
  file(STRINGS ${WORK}/${dir}/CMakeCache.txt line REGEX "^${var}:")
  string(REGEX REPLACE "^[^=]*=" "" value "${line}")
  set(${out_var} "${value}" PARENT_SCOPE)
endfunction()

# An OBJCXX that points nowhere stands for a machine without gobjc++.
set(no_objcxx OBJCXX=/nonexistent/objc++)

configure(tests_asked fail ENV ${no_objcxx} ARGS -DBUILD_TESTING=ON)
if(NOT out MATCHES "Missing Debian packages:[ \n]*gobjc\\+\\+ \\(compiler OBJCXX\\)")
  message(FATAL_ERROR "the failed test configure does not name gobjc++:\n${out}")
endif()

configure(driver_first ok ENV ${no_objcxx})
if(NOT out MATCHES "needed by the tests[^\n]*\n *gobjc\\+\\+ \\(compiler OBJCXX\\)")
  message(FATAL_ERROR "the driver's configure does not say that the tests need gobjc++:\n${out}")
endif()
cached(driver_first BUILD_TESTING testing)
if(testing)
  message(FATAL_ERROR "BUILD_TESTING is '${testing}' unless asked for; it should be off")
endif()

# The same folder, now with the compiler: the tests configure and find it.
configure(driver_first ok ARGS -DBUILD_TESTING=ON)
cached(driver_first CMAKE_OBJCXX_COMPILER compiler)
if(NOT compiler OR NOT EXISTS "${compiler}")
  message(FATAL_ERROR "the second configure kept the compiler '${compiler}'")
endif()
if(out MATCHES "VantrexPDEs is not built")
  message(FATAL_ERROR "the second configure still leaves the dialog out:\n${out}")
endif()

# The compiler that was found no longer compiles Objective-C++ (its package
# removed): the tests' configure of the same folder fails naming it, and
# finds it again once it is back.
configure(driver_first fail ENV ${no_objcxx} ARGS -DBUILD_TESTING=ON)
if(NOT out MATCHES "gobjc\\+\\+ \\(compiler OBJCXX\\)")
  message(FATAL_ERROR "the configure after the compiler went does not name gobjc++:\n${out}")
endif()
configure(driver_first ok ARGS -DBUILD_TESTING=ON)
cached(driver_first CMAKE_OBJCXX_COMPILER again)
if(NOT again STREQUAL compiler)
  message(FATAL_ERROR "the compiler came back as '${again}', not '${compiler}'")
endif()
