# A game folder with the game and zorve.asi but no bass.dll: the module must
# fail to load with "module not found", and the game must run on and exit 0.
file(REMOVE_RECURSE ${FOLDER})
file(MAKE_DIRECTORY ${FOLDER}/audio/streams)
file(COPY ${BIN}/fakehost.exe ${BIN}/zorve.asi DESTINATION ${FOLDER})
set(settings "[TRACK1]\r\nsource = song.wav\r\n")
file(WRITE ${FOLDER}/audio/streams/settings.ini "${settings}")
file(SHA256 ${FOLDER}/audio/streams/settings.ini before)

execute_process(COMMAND ${WINE_RUN} fakehost.exe --asi=zorve.asi
  WORKING_DIRECTORY ${FOLDER}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message("${output}${errors}")

if(NOT status EQUAL 0)
  message(FATAL_ERROR "the game exited with ${status}")
endif()
if(NOT output MATCHES "could not load zorve.asi \\(error 126: module not found\\)")
  message(FATAL_ERROR "the loader did not report the missing module")
endif()
file(SHA256 ${FOLDER}/audio/streams/settings.ini after)
if(NOT after STREQUAL before)
  message(FATAL_ERROR "settings.ini changed")
endif()
