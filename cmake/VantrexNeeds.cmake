# What the build and the tests take from the system, each with the Debian
# package that brings it, so that a missing part names its package.
#
#   vantrex_need(<var> <kind> <name> <package> <set> [PATHS dir...] [LIKE lang])
#     kind  PROGRAM, LIBRARY or HEADER (found into the cache variable <var>),
#           FILE (an absolute path), PACKAGE (find_package(<name>)) or
#           COMPILER (a language, e.g. OBJCXX; enable it afterwards; with
#           LIKE <lang>, only the compiler of <lang> is tried, so that both
#           languages come from one compiler whatever else is installed)
#     set   build: always needed; tests: needed when BUILD_TESTING is on
#   vantrex_report_needs()  after the last vantrex_need: fails the configure
#                           naming every package that is needed but missing
include_guard(GLOBAL)
include(CheckLanguage)

function(vantrex_need var kind name package set)
  cmake_parse_arguments(PARSE_ARGV 5 arg "" "LIKE" "PATHS")
  if(NOT set MATCHES "^(build|tests)$")
    message(FATAL_ERROR "vantrex_need(${var}): set must be build or tests, not '${set}'")
  endif()
  # A cached path to something that has since gone is searched again.
  if(kind MATCHES "^(PROGRAM|LIBRARY|HEADER)$" AND ${var} AND NOT EXISTS "${${var}}")
    unset(${var} CACHE)
  endif()
  if(kind STREQUAL PROGRAM)
    find_program(${var} ${name} PATHS ${arg_PATHS})
    set(found "${${var}}")
  elseif(kind STREQUAL LIBRARY)
    find_library(${var} ${name} PATHS ${arg_PATHS})
    set(found "${${var}}")
  elseif(kind STREQUAL HEADER)
    find_path(${var} ${name} PATHS ${arg_PATHS})
    set(found "${${var}}")
  elseif(kind STREQUAL FILE)
    set(found FALSE)
    if(EXISTS "${name}")
      set(found "${name}")
    endif()
    set(${var} "${found}" PARENT_SCOPE)
  elseif(kind STREQUAL PACKAGE)
    find_package(${name} QUIET)
    set(found "${${name}_FOUND}")
    set(${var} "${found}" PARENT_SCOPE)
  elseif(kind STREQUAL COMPILER)
    # check_language keeps its answer in the cache for good. Asked again at
    # every configure: a configure made before the compiler was installed
    # must not decide for every later one, nor one made before its package
    # was removed. A compiler found before is the one checked again.
    set(known "${CMAKE_${name}_COMPILER}")
    unset(CMAKE_${name}_COMPILER CACHE)
    set(env_was_set FALSE)
    if(NOT DEFINED ENV{${name}})
      if(known)
        set(ENV{${name}} "${known}")
        set(env_was_set TRUE)
      elseif(arg_LIKE)
        set(ENV{${name}} "${CMAKE_${arg_LIKE}_COMPILER}")
        set(env_was_set TRUE)
      endif()
    endif()
    check_language(${name})
    if(env_was_set)
      unset(ENV{${name}})
    endif()
    set(found "${CMAKE_${name}_COMPILER}")
    set(${var} "${found}" PARENT_SCOPE)
  else()
    message(FATAL_ERROR "vantrex_need(${var}): unknown kind '${kind}'")
  endif()
  if(NOT found)
    string(TOLOWER "${kind}" what)
    set_property(GLOBAL APPEND PROPERTY VANTREX_MISSING_${set} "${package} (${what} ${name})")
  endif()
endfunction()

function(vantrex_report_needs)
  get_property(build GLOBAL PROPERTY VANTREX_MISSING_build)
  get_property(tests GLOBAL PROPERTY VANTREX_MISSING_tests)
  set(missing ${build})
  if(BUILD_TESTING)
    list(APPEND missing ${tests})
  endif()
  if(missing)
    list(JOIN missing "\n  " lines)
    message(FATAL_ERROR "Missing Debian packages:\n  ${lines}\n"
      "Install them (./scripts/install-deps.sh installs what the build and the tests use).")
  endif()
  if(tests)
    list(JOIN tests "\n  " lines)
    message(STATUS "Not found (needed by the tests; parts that use them are left out):\n  ${lines}")
  endif()
endfunction()
