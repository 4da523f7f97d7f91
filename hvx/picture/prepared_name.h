#pragma once

#include <string>

// Where `hvx prepare` writes when no -o is given: beside the input, its
// extension replaced by ".bmp"; a bitmap input gets "-prepared.bmp" instead,
// so the default can never be the input itself.
std::string defaultPreparedName(const std::string& input);

// True when the file at `path` is a bitmap as hvx prepare writes it: its
// header, palette and size exactly those of the writer for its row count.
// Such a file may be replaced by a later run without -o or --force.
bool isPreparedBitmap(const std::string& path);
