# Writes OUTPUT, a C++ source holding the bytes of INPUT as kEmbeddedStub and
# their count as kEmbeddedStubSize; with no INPUT, an empty one.
# Usage: cmake -DINPUT=file -DOUTPUT=file.cpp -P embed_file.cmake
set(bytes "")
set(size 0)
if(INPUT AND EXISTS "${INPUT}")
  file(READ "${INPUT}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n" bytes "${bytes}")
endif()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} by cmake/embed_file.cmake; do not edit.\n"
  "#include <cstddef>\n"
  "extern const unsigned char kEmbeddedStub[] = {\n${bytes}0};\n"
  "extern const size_t kEmbeddedStubSize = ${size};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
