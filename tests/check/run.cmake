# Runs zorve-check on a copy of one example game folder and compares.
#   cmake -DCHECK=<program> [-DRUNNER=<wine-run>] -DCASE=<tests/check/NAME> -DWORK=<dir>
#         [-DGAME=<folder to copy instead of CASE/game>] [-DEXPECTED=<file>] -P run.cmake
# The expected file holds "exit N" and then lines that must each appear whole in
# the output; a line "json PATH... = VALUE" instead runs with --json and checks
# that member of the answer, and a line "tracks LINE" runs with --tracks and
# looks for LINE in that output.
cmake_minimum_required(VERSION 3.20)

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
if(NOT GAME)
  set(GAME ${CASE}/game)
endif()
if(EXISTS ${GAME})
  file(COPY ${GAME}/ DESTINATION ${WORK})
endif()
# Empty folders and generated files, which git does not keep.
if(EXISTS ${CASE}/setup.cmake)
  include(${CASE}/setup.cmake)
endif()
if(NOT EXPECTED)
  set(EXPECTED ${CASE}/expected)
endif()

function(run_check out_var rc_var)
  execute_process(COMMAND ${RUNNER} ${CHECK} ${ARGN} ${WORK}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  string(REPLACE "\r" "" out "${out}")
  set(${out_var} "${out}" PARENT_SCOPE)
  set(${rc_var} "${rc}" PARENT_SCOPE)
endfunction()

run_check(text rc)
set(json "")
set(tracks "")

# Semicolons are CMake's list separator: hidden while the lines are split.
file(READ ${EXPECTED} expected)
string(REPLACE ";" "<semicolon>" expected "${expected}")
string(REPLACE "\n" ";" expected "${expected}")
set(failures "")
foreach(line IN LISTS expected)
  string(REPLACE "<semicolon>" ";" line "${line}")
  if(line STREQUAL "")
    continue()
  elseif(line MATCHES "^exit ([0-9]+)$")
    if(NOT rc STREQUAL CMAKE_MATCH_1)
      string(APPEND failures "exit status ${rc}, expected ${CMAKE_MATCH_1}\n")
    endif()
  elseif(line MATCHES "^json (.*) = (.*)$")
    set(want "${CMAKE_MATCH_2}")
    string(REPLACE " " ";" path "${CMAKE_MATCH_1}")
    if(json STREQUAL "")
      run_check(json json_rc --json)
    endif()
    string(JSON got ERROR_VARIABLE error GET "${json}" ${path})
    if(error OR NOT got STREQUAL want)
      string(APPEND failures "json ${CMAKE_MATCH_1}: got '${got}' ${error}, expected '${want}'\n")
    endif()
  elseif(line MATCHES "^tracks (.*)$")
    if(tracks STREQUAL "")
      run_check(tracks tracks_rc --tracks)
    endif()
    string(FIND "\n${tracks}" "\n${CMAKE_MATCH_1}\n" at)
    if(at EQUAL -1)
      string(APPEND failures "missing line with --tracks: ${CMAKE_MATCH_1}\n")
    endif()
  else()
    string(FIND "\n${text}" "\n${line}\n" at)
    if(at EQUAL -1)
      string(APPEND failures "missing line: ${line}\n")
    endif()
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "zorve-check on ${CASE}:\n${failures}--- output:\n${text}")
endif()
