#ifndef WFXML_SRC_ASCIILAYOUT_H
#define WFXML_SRC_ASCIILAYOUT_H

#include <cstddef>
#include <optional>
#include <string_view>

namespace wfxml::detail {

// How a document's bytes spell the ASCII characters of its markup: a byte
// each (UTF-8, and the code pages Xerces-C reads whose bytes below 0x80 are
// ASCII: ISO-8859, Windows, EUC, Shift_JIS, GB18030, Big5), or two or four
// in UTF-16 and UTF-32, told by a byte-order mark or by the zero bytes
// around a first '<'.
struct AsciiLayout {
  std::size_t start = 0;  // the first character's byte, after a mark
  std::size_t width = 1;  // bytes a character
  std::size_t low = 0;    // which of them holds the ASCII character

  // The ASCII character whose bytes start at byte `first`; 0 where the
  // document ends before it or it is another character.
  char characterAt(std::string_view document, std::size_t first) const;
};

// nullopt where the markup is not ASCII: a document read a byte at a time
// whose first character (after blanks and UTF-8's mark) is not '<' (EBCDIC).
std::optional<AsciiLayout> asciiLayoutOf(std::string_view document);

}  // namespace wfxml::detail

#endif
