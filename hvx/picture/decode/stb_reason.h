#pragma once

#include <string>

// The image library's own word for what went wrong, kept to one printable
// line: some of its paths leave no reason, or a bare line break.
std::string stbReason();
