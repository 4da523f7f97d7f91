# Turns the studio page into a C++ source file:
#   cmake -DINPUT=page.html -DOUTPUT=studio_page.cpp -P embed_page.cmake
file(READ "${INPUT}" bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," array "${bytes}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n  " array "${array}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from hvx/studio/page/page.html at build time; edit that file instead.\n"
  "#include \"hvx/studio/page/studio_page.h\"\n\n"
  "namespace {\nconst unsigned char kPageBytes[] = {\n  ${array}0x00};\n}  // namespace\n\n"
  "const char* const kStudioPage = reinterpret_cast<const char*>(kPageBytes);\n"
  "const std::size_t kStudioPageSize = ${size};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
