file(WRITE ${WORK}/bass.dll "stands in for the audio library")
# A gigabyte of recording behind long.wav's header, sparse on disk: the checker
# must read its length from the header, not the whole file.
execute_process(COMMAND truncate -s 1G ${WORK}/audio/streams/long.wav RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot make the gigabyte long.wav")
endif()
