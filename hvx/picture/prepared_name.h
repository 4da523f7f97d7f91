#pragma once

#include <string>

// Where `hvx prepare` writes when no -o is given: beside the input, its
// extension replaced by ".bmp"; a bitmap input gets "-prepared.bmp" instead,
// so the default can never be the input itself.
std::string defaultPreparedName(const std::string& input);

// hvx stamps every bitmap it makes with a checksum of its pixels in the file
// header's reserved bytes, which no reader consults. `bytes` is a whole
// bitmap as the writer makes it.
void stampBitmap(std::string& bytes);

// True when the file at `path` is a bitmap hvx made and nothing changed
// since: the writer's header, palette and size for its row count, and the
// stamp of its own pixels. Such a file may be replaced by a later run without
// -o or --force; one edited in any other program, or made by one, may not.
bool isPreparedBitmap(const std::string& path);
