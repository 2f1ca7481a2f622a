file(WRITE ${WORK}/bass.dll "stands in for the audio library")
# A gigabyte of recording behind long.wav's header, sparse on disk: the checker
# must read its length from the header, not the whole file.
execute_process(COMMAND truncate -s 1G ${WORK}/audio/streams/long.wav RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot make the gigabyte long.wav")
endif()

# The module's kept length of rock/a.wav for the file as it is (size and write
# time), and one that only the cache can give: 7.5 s, where its header says 30 s;
# and its loudness as measured.
set(track ${WORK}/audio/streams/rock/a.wav)
execute_process(COMMAND touch -d @1700000000 ${track})
file(SIZE ${track} size)
math(EXPR write_time "(1700000000 + 11644473600) * 10000000")
set(fields "${size}\t${write_time}\t7500000\tm\t-2340\t500000\taudio/streams/rock/a.wav")
# The line's check sum: 32-bit FNV-1a of the fields.
set(hash 2166136261)
string(LENGTH "${fields}" length)
math(EXPR last "${length} - 1")
foreach(at RANGE ${last})
  string(SUBSTRING "${fields}" ${at} 1 char)
  string(HEX "${char}" hex)
  math(EXPR hash "((${hash} ^ 0x${hex}) * 16777619) & 0xFFFFFFFF")
endforeach()
math(EXPR hash "${hash}" OUTPUT_FORMAT HEXADECIMAL)
string(SUBSTRING "${hash}" 2 -1 hash)
string(LENGTH "${hash}" digits)
while(digits LESS 8)
  set(hash "0${hash}")
  math(EXPR digits "${digits} + 1")
endwhile()
file(WRITE ${WORK}/audio/streams/zorve-tracks.cache "zorve track lengths 2\n${hash}\t${fields}\n")
