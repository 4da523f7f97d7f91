#include "hvx/voice/printable_text.h"

namespace {

const char kHexDigits[] = "0123456789abcdef";

std::string hexEscape(const char* prefix, unsigned char byte) {
  return prefix + std::string{kHexDigits[byte >> 4], kHexDigits[byte & 0xf]};
}

}  // namespace

std::string printableText(const std::string& text) {
  std::string printable;
  printable.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    if (byte == '\n') {
      printable += "\\n";
    } else if (byte == '\r') {
      printable += "\\r";
    } else if (byte == '\t') {
      printable += "\\t";
    } else if (byte < 0x20 || byte == 0x7f) {
      printable += hexEscape("\\x", byte);
    } else if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {
      printable += hexEscape("\\u00", next);  // a C1 control, such as the one-byte CSI
      ++i;
    } else {
      printable += static_cast<char>(byte);
    }
  }
  return printable;
}

std::string printableLines(const std::string& text) {
  std::string shown;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      shown += printableText(text.substr(start));
      break;
    }
    shown += printableText(text.substr(start, end - start)) + "\n";
    start = end + 1;
  }
  return shown;
}
