file(MAKE_DIRECTORY ${WORK}/audio/streams/folder)
