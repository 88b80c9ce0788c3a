#include "drawing/exception.h"

#include <algorithm>

std::string Quoted(std::string_view text, std::size_t longest) {
  std::size_t cut = std::min(text.size(), longest);
  while (cut > 0 && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  std::string shown = "'";
  for (char c : text.substr(0, cut)) shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  return shown + (cut < text.size() ? "...'" : "'");
}
