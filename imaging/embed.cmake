# Writes a C++ file that compiles resource files into the program image.
#
#   cmake -DOUTPUT=out.cpp -DRESOURCES="TYPE|NAME|FILE|TYPE|NAME|FILE..." -P embed.cmake
#
# TYPE is Bitmap, RCData or Icon; NAME is stored in capitals.  The bytes go
# into a string literal of \x escapes, which GCC reads many times faster than
# a braced list of a million numbers.

string(REPLACE "|" ";" RESOURCES "${RESOURCES}")
list(LENGTH RESOURCES count)
math(EXPR remainder "${count} % 3")
if(count EQUAL 0 OR NOT remainder EQUAL 0)
  message(FATAL_ERROR "RESOURCES must hold TYPE;NAME;FILE triples")
endif()

set(arrays "")
set(entries "")
set(index 0)
while(index LESS count)
  list(GET RESOURCES ${index} type)
  math(EXPR index "${index} + 1")
  list(GET RESOURCES ${index} name)
  math(EXPR index "${index} + 1")
  list(GET RESOURCES ${index} file)
  math(EXPR index "${index} + 1")
  if(NOT type MATCHES "^(Bitmap|RCData|Icon)$")
    message(FATAL_ERROR "Unknown resource type ${type} for ${name}")
  endif()
  string(TOUPPER "${name}" name)
  string(MAKE_C_IDENTIFIER "resource_${name}" symbol)

  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  # 16 bytes (64 characters of escapes) to a line of source.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
  string(REPEAT "." 64 sixteenEscapes)
  string(REGEX REPLACE "(${sixteenEscapes})" "\\1\n" escaped "${escaped}")
  string(REGEX REPLACE "([^\n]+)" "    \"\\1\"" escaped "${escaped}")
  if(size EQUAL 0)
    set(escaped "    \"\"")
  endif()
  string(APPEND arrays "// ${file}\nconst char ${symbol}[] =\n${escaped};\n\n")
  string(APPEND entries "    {imaging::ResourceType::${type}, \"${name}\", reinterpret_cast<const unsigned char*>(${symbol}), ${size}},\n")
endwhile()

file(WRITE "${OUTPUT}.tmp" "// Written by imaging/embed.cmake at build time; do not edit.

#include \"imaging/resources.h\"

namespace {

${arrays}const imaging::ResourceEntry entries[] = {
${entries}};

const imaging::ResourceRegistration registration(entries);

}  // namespace
")
# Leave the file alone when nothing changed, so nothing recompiles.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
