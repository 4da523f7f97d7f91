#pragma once

#include <string>

// `text` (a path, a voice's name: bytes from a user or a file) made safe to
// print on a terminal: control characters, DEL and the C1 controls written
// in UTF-8 become escapes such as \n, \x1b or \u009b, so that no name can
// move the cursor, clear the screen or start a line of its own. Everything
// else, UTF-8 included, is kept as it is.
std::string printableText(const std::string& text);

// Each line of `text` made printable, the line breaks between them kept.
std::string printableLines(const std::string& text);
