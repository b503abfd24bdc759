# Regenerates the firmware image into the build tree and compares it with the
# committed resources/vxe720fw.bin, so that the two can never drift apart.
# cmake -DGENERATOR=<make_firmware_image> -DOUTPUT=<scratch file> -DEXPECTED=<committed image>
#       [-DEMULATOR=<what runs a cross-built program>] -P <this file>
foreach(var GENERATOR OUTPUT EXPECTED)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

file(REMOVE ${OUTPUT})
execute_process(COMMAND ${EMULATOR} ${GENERATOR} ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "make_firmware_image failed: ${result}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${EXPECTED} RESULT_VARIABLE differ)
file(REMOVE ${OUTPUT})
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "${EXPECTED} differs from what make_firmware_image writes; regenerate it")
endif()
