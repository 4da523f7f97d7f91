# Turns the studio page's files into one C++ source file:
#   cmake -DPAGE_DIR=dir -DFILES=page.html,grid.js -DOUTPUT=studio_page.cpp -P embed_page.cmake
string(REPLACE "," ";" files "${FILES}")
set(arrays "")
set(table "")
set(index 0)
foreach(name IN LISTS files)
  file(READ "${PAGE_DIR}/${name}" bytes HEX)
  string(LENGTH "${bytes}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," array "${bytes}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n  " array "${array}")
  string(APPEND arrays "const unsigned char kFile${index}[] = {\n  ${array}0x00};\n")
  string(APPEND table "    {\"${name}\", reinterpret_cast<const char*>(kFile${index}), ${size}},\n")
  if(name STREQUAL "page.html")
    set(page_index ${index})
    set(page_size ${size})
  endif()
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from hvx/studio/page/ at build time; edit those files instead.\n"
  "#include \"hvx/studio/page/studio_page.h\"\n\n"
  "namespace {\n${arrays}}  // namespace\n\n"
  "const char* const kStudioPage = reinterpret_cast<const char*>(kFile${page_index});\n"
  "const std::size_t kStudioPageSize = ${page_size};\n"
  "const StudioPageFile kStudioPageFiles[] = {\n${table}};\n"
  "const std::size_t kStudioPageFileCount = ${index};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
