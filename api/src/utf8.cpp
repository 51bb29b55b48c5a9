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
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    // The second byte's range narrows for E0 (no overlong), ED (no
    // surrogate), F0 (no overlong) and F4 (nothing beyond U+10FFFF).
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return i;
    }
    if (size - i < length || bytes[i + 1] < low || bytes[i + 1] > high) return i;
    for (std::size_t k = 2; k < length; ++k)
      if ((bytes[i + k] & 0xC0) != 0x80) return i;
    i += length;
  }
  return std::string_view::npos;
}

void assignUtf8(std::string& out, std::u16string_view text) { out.resize(writeUtf8(out, text).size()); }

}  // namespace wfxml::detail
