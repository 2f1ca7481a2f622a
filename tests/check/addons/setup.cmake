# The fake audio library with its version resource, one add-on of three, and
# files whose formats need add-ons (their first bytes are what counts).
file(COPY ${BIN}/bass.dll DESTINATION ${WORK})
file(WRITE ${WORK}/bassopus.dll "stands in for an add-on")
file(WRITE ${WORK}/music/one.flac "fLaC and the rest of a FLAC file")
file(WRITE ${WORK}/music/two.opus "OggS........................OpusHead and the rest")
file(WRITE ${WORK}/audio/streams/j1.m4a "....ftypM4A and the rest")
file(WRITE ${WORK}/audio/streams/settings.ini
  "[TRACK1]\nsource = music/one.flac\n[TRACK2]\nsource = music/two.opus\n[SWITCHER]\nsamples = j1.m4a\n")
