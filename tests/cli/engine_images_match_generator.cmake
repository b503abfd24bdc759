# Regenerates the engine test images into the build tree and compares them
# with the committed tests/engine-images, so that the two never drift apart.
# cmake -DGENERATOR=<make_engine_images> -DOUTPUT=<scratch folder> -DEXPECTED=<committed folder>
#       [-DEMULATOR=<what runs a cross-built program>] -P <this file>
foreach(var GENERATOR OUTPUT EXPECTED)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${OUTPUT})
execute_process(COMMAND ${EMULATOR} ${GENERATOR} ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "make_engine_images failed: ${result}")
endif()

file(GLOB generated RELATIVE ${OUTPUT} ${OUTPUT}/*)
file(GLOB committed RELATIVE ${EXPECTED} ${EXPECTED}/*)
list(SORT generated)
list(SORT committed)
if(NOT generated STREQUAL committed)
  message(FATAL_ERROR "${EXPECTED} holds ${committed}, make_engine_images writes ${generated}; regenerate it")
endif()
foreach(name IN LISTS generated)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT}/${name} ${EXPECTED}/${name} RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    message(FATAL_ERROR "${EXPECTED}/${name} differs from what make_engine_images writes; regenerate it")
  endif()
endforeach()
file(REMOVE_RECURSE ${OUTPUT})
