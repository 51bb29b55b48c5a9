#include "asciilayout.h"

namespace wfxml::detail {

char AsciiLayout::characterAt(std::string_view document, std::size_t first) const {
  if (first + width > document.size()) return 0;
  for (std::size_t i = 0; i < width; ++i)
    if (i != low && document[first + i] != 0) return 0;
  const char c = document[first + low];
  return static_cast<unsigned char>(c) < 0x80 ? c : 0;
}

std::optional<AsciiLayout> asciiLayoutOf(std::string_view document) {
  const auto startsWith = [&](std::string_view prefix) { return document.substr(0, prefix.size()) == prefix; };
  using namespace std::string_view_literals;
  if (startsWith("\xFF\xFE\0\0"sv)) return AsciiLayout{4, 4, 0};
  if (startsWith("\0\0\xFE\xFF"sv)) return AsciiLayout{4, 4, 3};
  if (startsWith("\xFF\xFE"sv)) return AsciiLayout{2, 2, 0};
  if (startsWith("\xFE\xFF"sv)) return AsciiLayout{2, 2, 1};
  if (startsWith("<\0\0\0"sv)) return AsciiLayout{0, 4, 0};
  if (startsWith("\0\0\0<"sv)) return AsciiLayout{0, 4, 3};
  if (startsWith("<\0"sv)) return AsciiLayout{0, 2, 0};
  if (startsWith("\0<"sv)) return AsciiLayout{0, 2, 1};
  const std::size_t first = document.find_first_not_of(" \t\r\n", startsWith("\xEF\xBB\xBF") ? 3 : 0);
  if (first == std::string_view::npos || document[first] != '<') return std::nullopt;
  return AsciiLayout{};
}

}  // namespace wfxml::detail
