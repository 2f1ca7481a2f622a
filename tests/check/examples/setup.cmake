file(WRITE ${WORK}/bass.dll "stands in for the audio library")
# The audio the example settings name is generated, never committed.
execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../../../examples/make-audio ${WORK} COMMAND_ERROR_IS_FATAL ANY)
