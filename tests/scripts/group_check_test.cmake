# Runs a small CTest project whose groups pass, skip, partly run or do not
# exist, and checks what scripts/check-test-groups.cmake says of each.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/src)
file(WRITE ${WORK}/src/CMakeLists.txt [=[
cmake_minimum_required(VERSION 3.20)
project(groups NONE)
enable_testing()
add_test(NAME whole.one COMMAND ${CMAKE_COMMAND} -E echo fine)
add_test(NAME whole.two COMMAND ${CMAKE_COMMAND} -E echo fine)
add_test(NAME partly.runs COMMAND ${CMAKE_COMMAND} -E echo fine)
add_test(NAME partly.skips COMMAND ${CMAKE_COMMAND} -E echo "[  SKIPPED ] not here")
add_test(NAME apart.runs COMMAND ${CMAKE_COMMAND} -E echo fine)
add_test(NAME nowhere COMMAND ${CMAKE_COMMAND} -E echo fine)
# JUnit escapes these characters; parameterised tests have them in their names.
add_test(NAME [[odd.<1 & "2" 'x'>]] COMMAND ${CMAKE_COMMAND} -E echo fine)
set_tests_properties([[odd.<1 & "2" 'x'>]] PROPERTIES LABELS odd)
set_tests_properties(whole.one whole.two PROPERTIES LABELS whole)
set_tests_properties(partly.runs partly.skips PROPERTIES LABELS "partly;shared")
set_tests_properties(partly.skips PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
set_tests_properties(apart.runs PROPERTIES LABELS "apart;shared")
]=])
execute_process(COMMAND ${CMAKE_COMMAND} -S ${WORK}/src -B ${WORK}/build
  OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the small project does not configure")
endif()

# check(<name> <ctest args> GROUPS <groups> EXPECT ok|fail LINES <regex>...)
function(check name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "EXPECT" "CTEST;GROUPS;LINES")
  execute_process(COMMAND ${CMAKE_CTEST_COMMAND} ${arg_CTEST} --output-junit ${WORK}/${name}.xml
    WORKING_DIRECTORY ${WORK}/build OUTPUT_QUIET ERROR_QUIET)
  execute_process(COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${WORK}/build -DJUNIT=${WORK}/${name}.xml
      "-DGROUPS=${arg_GROUPS}" -P ${CHECK}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(arg_EXPECT STREQUAL ok AND NOT result EQUAL 0)
    message(SEND_ERROR "${name}: the check failed, it should pass:\n${out}")
  elseif(arg_EXPECT STREQUAL fail AND result EQUAL 0)
    message(SEND_ERROR "${name}: the check passed, it should fail:\n${out}")
  endif()
  foreach(line ${arg_LINES})
    if(NOT out MATCHES "${line}")
      message(SEND_ERROR "${name}: no line matches '${line}' in:\n${out}")
    endif()
  endforeach()
endfunction()

check(all_ran GROUPS "whole apart odd" EXPECT ok
  LINES "test group whole: 2 of 2 ran" "test group apart: 1 of 1 ran" "test group odd: 1 of 1 ran"
        "note: 1 test\\(s\\) belong to no group: nowhere")
check(skipped GROUPS "whole partly" EXPECT fail
  LINES "INCOMPLETE test group partly: 1 of 2 ran; 1 skipped or not run:\n +partly.skips \\(notrun\\)")
check(missing GROUPS "whole nosuch" EXPECT fail
  LINES "MISSING test group nosuch: no test has this label")
# Only the tests of one label ran: the others' groups are reported.
check(one_label CTEST -L "^whole$" GROUPS "whole apart" EXPECT fail
  LINES "test group whole: 2 of 2 ran" "INCOMPLETE test group apart: 0 of 1 ran")
# A test in two groups counts in both.
check(shared GROUPS "shared" EXPECT fail
  LINES "INCOMPLETE test group shared: 2 of 3 ran")
check(no_results CTEST -R "^nothing-matches$" GROUPS "whole" EXPECT fail
  LINES "INCOMPLETE test group whole: 0 of 2 ran")
