# Pads the linked stub to exactly StubSize bytes (taken from archive/StubSize.h,
# the one place the number is written) and fails when the image is larger.
# The x86-64 twin tree gives its own length as STUB_SIZE instead.
# Usage: cmake -DINPUT=linked.exe -DOUTPUT=sfx.exe -DSTUB_SIZE_HEADER=... [-DSTUB_SIZE=N] -P PadStub.cmake
if(STUB_SIZE)
  set(stubSize "${STUB_SIZE}")
else()
  file(READ "${STUB_SIZE_HEADER}" header)
  string(REGEX MATCH "StubSize = ([0-9]+);" _ "${header}")
  set(stubSize "${CMAKE_MATCH_1}")
endif()
if(NOT stubSize)
  message(FATAL_ERROR "PadStub: no 'StubSize = N;' line in ${STUB_SIZE_HEADER}")
endif()
file(SIZE "${INPUT}" linkedSize)
if(linkedSize GREATER stubSize)
  math(EXPR over "${linkedSize} - ${stubSize}")
  message(FATAL_ERROR "The linked stub is ${linkedSize} bytes, ${over} bytes over its ${stubSize}-byte budget. "
                      "Shrink the stub: the archive must start at offset ${stubSize}.")
endif()
math(EXPR headroom "${stubSize} - ${linkedSize}")
message(STATUS "stub: linked image ${linkedSize} bytes, padded to ${stubSize} (headroom ${headroom} bytes)")
# Zero bytes after the image are file overlay: Windows never maps them.
file(COPY_FILE "${INPUT}" "${OUTPUT}.tmp")
execute_process(COMMAND truncate -s ${stubSize} "${OUTPUT}.tmp" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "PadStub: could not pad ${OUTPUT}")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
file(WRITE "${OUTPUT}.size" "${linkedSize}\n")
