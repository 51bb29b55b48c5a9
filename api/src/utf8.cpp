#include "utf8.h"

namespace wfxml::detail {

std::string_view writeUtf8(std::string& buffer, std::u16string_view text) {
  // A UTF-16 unit takes at most three bytes (a surrogate pair four for its
  // two units). The buffer only grows, so that it is filled only once.
  if (buffer.size() < text.size() * 3) buffer.resize(text.size() * 3);
  char* const start = buffer.data();
  char* to = start;
  const char16_t* from = text.data();
  const char16_t* const end = from + text.size();
  while (from != end) {
    // Runs of ASCII, four units at a time: most values and names are ASCII.
    if (end - from >= 4 && ((from[0] | from[1] | from[2] | from[3]) & 0xFF80) == 0) {
      to[0] = static_cast<char>(from[0]);
      to[1] = static_cast<char>(from[1]);
      to[2] = static_cast<char>(from[2]);
      to[3] = static_cast<char>(from[3]);
      to += 4;
      from += 4;
      continue;
    }
    char32_t c = *from++;
    if (c < 0x80) {
      *to++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && from != end && *from >= 0xDC00 && *from <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (*from++ - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x800) {
      *to++ = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      *to++ = static_cast<char>(0xE0 | (c >> 12));
      *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      *to++ = static_cast<char>(0xF0 | (c >> 18));
      *to++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      *to++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    *to++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return {start, static_cast<std::size_t>(to - start)};
}

std::size_t firstNonUtf8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    i += asciiRun(bytes + i, size - i);
    if (i == size) break;
    const std::size_t length = utf8SequenceLength(bytes + i, size - i);
    if (length == 0) return i;
    i += length;
  }
  return std::string_view::npos;
}

void assignUtf8(std::string& out, std::u16string_view text) { out.resize(writeUtf8(out, text).size()); }

}  // namespace wfxml::detail
