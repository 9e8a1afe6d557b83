# Writes OUT: a C++ file defining the bytes of IN as `const unsigned char NAME[]` with their count
# in `const size_t NAME_size`. TEXT=ON adds a terminating NUL (not counted), for shader sources.
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
if(TEXT)
    string(APPEND hex "00")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUT}" "// Generated from ${IN}; do not edit.\n#include <cstddef>\n\n"
     "extern const unsigned char ${NAME}[];\nextern const size_t ${NAME}_size;\n"
     "alignas(16) const unsigned char ${NAME}[] = {\n${bytes}\n};\n"
     "const size_t ${NAME}_size = ${size};\n")
