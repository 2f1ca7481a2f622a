# Seventeen jingles, all present: the table holds fifteen.
file(WRITE ${WORK}/bass.dll "stands in for the audio library")
set(names "")
foreach(n RANGE 1 17)
  file(WRITE ${WORK}/audio/streams/j${n}.wav "RIFF----WAVEfmt ")
  list(APPEND names j${n}.wav)
endforeach()
list(JOIN names "," names)
file(WRITE ${WORK}/audio/streams/settings.ini "[SWITCHER]\nsamples = ${names}\n[POSITION]\nseconds = 12abc\n")
