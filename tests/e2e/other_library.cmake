# Plays a scenario in a game folder whose bass.dll is LIBRARY rather than the
# fake beside the test programs: the game, the module and the scenarios are
# copied in beside it, where Windows looks for a module's libraries first.
file(REMOVE_RECURSE ${FOLDER})
file(MAKE_DIRECTORY ${FOLDER})
file(COPY ${BIN}/fakehost.exe ${BIN}/zorve.asi ${BIN}/zorve_e2e.dll ${LIBRARY} DESTINATION ${FOLDER})
execute_process(COMMAND ${WINE_RUN} fakehost.exe --asi=zorve.asi --then-check zorve_e2e.dll ${SCENARIO}
  WORKING_DIRECTORY ${FOLDER} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "scenario ${SCENARIO} with ${LIBRARY}: exit status ${status}")
endif()
