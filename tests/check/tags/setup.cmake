file(WRITE ${WORK}/bass.dll "stands in for the audio library")
