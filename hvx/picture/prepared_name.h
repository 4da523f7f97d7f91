#pragma once

#include <string>

// Where `hvx prepare` writes when no -o is given: beside the input, its
// extension replaced by ".bmp"; a bitmap input gets "-prepared.bmp" instead,
// so the default can never be the input itself.
std::string defaultPreparedName(const std::string& input);
