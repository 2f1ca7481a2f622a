# The module's load-time imports, read from its import table: from bass.dll
# BASS_GetVersion alone (every version of the library exports it; a missing
# import keeps Windows from loading the module at all, which Wine hides by
# binding a stub), and otherwise Windows' own libraries only.
#   cmake -DOBJDUMP=<i686 objdump> -DMODULE=<zorve.asi> -P imports.cmake
cmake_minimum_required(VERSION 3.20)
set(system_libraries
  advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ntdll.dll ole32.dll oleaut32.dll
  shell32.dll shlwapi.dll user32.dll version.dll winmm.dll ws2_32.dll)
set(bass_imports BASS_GetVersion)

execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${MODULE} failed")
endif()
string(REPLACE "\n" ";" lines "${dump}")
set(failures "")
set(library "")
set(seen_bass OFF)
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]*DLL Name: (.+)$")
    string(TOLOWER "${CMAKE_MATCH_1}" library)
    if(library STREQUAL "bass.dll")
      set(seen_bass ON)
    elseif(NOT library IN_LIST system_libraries)
      string(APPEND failures "imports from ${CMAKE_MATCH_1}, which is no Windows library\n")
    endif()
  elseif(line MATCHES "^[ \t]*$")
    set(library "")
  elseif(library STREQUAL "bass.dll" AND line MATCHES "^[ \t]*[0-9a-f]+[ \t]+[0-9]+[ \t]+([A-Za-z_0-9@]+)$")
    if(NOT CMAKE_MATCH_1 IN_LIST bass_imports)
      string(APPEND failures "imports ${CMAKE_MATCH_1} from bass.dll at load time\n")
    endif()
  endif()
endforeach()
if(NOT seen_bass)
  string(APPEND failures "no import from bass.dll: the library would be shut down before the module's exit work\n")
endif()
if(failures)
  message(FATAL_ERROR "${MODULE}:\n${failures}")
endif()
