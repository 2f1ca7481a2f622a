# The settings file of the release, with the files it names in place.
file(WRITE ${WORK}/bass.dll "stands in for the audio library")
set(settings ${CMAKE_CURRENT_LIST_DIR}/../../../tools/package/settings.ini)
file(COPY ${settings} DESTINATION ${WORK}/audio/streams)
foreach(name audio/streams/station1.mp3 audio/streams/jingle1.wav audio/streams/jingle2.wav)
  file(WRITE ${WORK}/${name} "RIFF----WAVEfmt ")
endforeach()
