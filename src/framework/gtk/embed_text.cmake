# Writes the file INPUT into OUTPUT as a C++ header that defines the null-terminated character
# array NAME holding its bytes. Run as: cmake -DINPUT=... -DOUTPUT=... -DNAME=... -P embed_text.cmake
file(READ "${INPUT}" content HEX)
# Sixteen bytes a line: a break after every 32 hex digits, then each pair as a character.
string(REGEX REPLACE "([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])"
       "\\1@" content "${content}")
string(REGEX REPLACE "([^@]*@[^@]*@[^@]*@[^@]*@)" "\\1\n    " content "${content}")
string(REPLACE "@" "" content "${content}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${content}")
get_filename_component(source "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${source} at build time; do not edit.\n"
  "#pragma once\n\n"
  "inline constexpr char ${NAME}[] = {\n    ${bytes}'\\0'};\n")
# Only a changed header is rewritten, so that an unchanged interface file rebuilds nothing.
execute_process(COMMAND "${CMAKE_COMMAND}" -E copy_if_different "${OUTPUT}.tmp" "${OUTPUT}")
file(REMOVE "${OUTPUT}.tmp")
