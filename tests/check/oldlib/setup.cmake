# An audio library of version 2.3: the version resource alone stands for it.
file(MAKE_DIRECTORY ${WORK}/audio/streams)
file(COPY_FILE ${OLD_LIBRARY} ${WORK}/bass.dll)
file(WRITE ${WORK}/audio/streams/settings.ini "[POSITION]\nseconds = 0\n")
