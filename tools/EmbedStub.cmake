# Writes a C++ source that holds the bytes of the stub file INPUT as
# EmbeddedStubBytes, or no bytes when INPUT is empty. Run at every build, so a
# rebuilt stub is picked up by the next build of mksfx; the source is rewritten
# only when the bytes change, so an unchanged stub relinks nothing.
if(INPUT AND NOT EXISTS "${INPUT}")
  message(FATAL_ERROR "mksfx: no stub at '${INPUT}'. Build the stub first ('make stub'), "
                      "or configure with -DZELVIX_STUB_FILE= for an mksfx without one.")
endif()
if(INPUT)
  file(READ "${INPUT}" hex HEX)
else()
  set(hex "")
endif()
string(LENGTH "${hex}" digits)
math(EXPR length "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
if(length EQUAL 0)
  set(bytes "0")
endif()
file(WRITE "${OUTPUT}.new"
  "// Generated from ${INPUT} by tools/EmbedStub.cmake.\n"
  "extern const unsigned char EmbeddedStubBytes[] = {\n${bytes}\n};\n"
  "extern const unsigned int EmbeddedStubLength = ${length};\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
