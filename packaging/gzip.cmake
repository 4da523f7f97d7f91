# cmake -DINPUT=file -DOUTPUT=file.gz -P gzip.cmake
# Compressed the way Debian wants installed documentation: best compression,
# no name or time stamp in the header, so the same text gives the same bytes.
execute_process(COMMAND gzip -9n -c ${INPUT} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "gzip ${INPUT}: ${status}")
endif()
