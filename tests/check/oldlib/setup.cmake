# An audio library of version 2.3.
file(MAKE_DIRECTORY ${WORK}/audio/streams)
configure_file(${OLD_LIBRARY} ${WORK}/bass.dll COPYONLY)
file(WRITE ${WORK}/audio/streams/settings.ini "[POSITION]\nseconds = 0\n")
