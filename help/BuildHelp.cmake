# Compiles the help project into one CHM file (run with cmake -P by the build).
#   -DCHMCMD=<chmcmd> -DSOURCE_DIR=<help sources> -DSTAGE_DIR=<scratch folder> -DOUTPUT=<.chm>
# chmcmd writes its result beside the project file, so the sources are compiled from a copy
# in the build folder and the source tree stays clean. A page that links to a file which is
# not there fails the build instead of shipping a broken link.
foreach(var CHMCMD SOURCE_DIR STAGE_DIR OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "BuildHelp.cmake: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${STAGE_DIR}")
file(MAKE_DIRECTORY "${STAGE_DIR}")
file(GLOB sources
  "${SOURCE_DIR}/*.html" "${SOURCE_DIR}/*.css" "${SOURCE_DIR}/*.png"
  "${SOURCE_DIR}/*.hhp" "${SOURCE_DIR}/*.hhc" "${SOURCE_DIR}/*.hhk")
file(COPY ${sources} DESTINATION "${STAGE_DIR}")

execute_process(
  COMMAND "${CHMCMD}" sondrel.hhp
  WORKING_DIRECTORY "${STAGE_DIR}"
  RESULT_VARIABLE rc
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "chmcmd failed (${rc}):\n${out}")
endif()
# chmcmd reports missing files and links as warnings and still succeeds.
string(REGEX MATCHALL "[^\n]*(Warning|Error)[^\n]*" problems "${out}")
if(problems)
  list(JOIN problems "\n" problems)
  message(FATAL_ERROR "The help project has problems:\n${problems}")
endif()
if(NOT EXISTS "${STAGE_DIR}/sondrel.chm")
  message(FATAL_ERROR "chmcmd wrote no sondrel.chm:\n${out}")
endif()

get_filename_component(out_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
# Copy then rename, so a viewer never sees half a file.
file(COPY_FILE "${STAGE_DIR}/sondrel.chm" "${OUTPUT}.tmp")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
