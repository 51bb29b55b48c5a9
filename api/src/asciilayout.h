#ifndef WFXML_SRC_ASCIILAYOUT_H
#define WFXML_SRC_ASCIILAYOUT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace wfxml::detail {

// The ASCII character of each byte of an EBCDIC code page read a byte at a
// time; 0 for a byte of another character or a shift of a double-byte form.
using EbcdicCharacters = std::array<char, 256>;

// How a document's bytes spell the ASCII characters of its markup: a byte
// each (UTF-8, and the code pages Xerces-C reads whose bytes below 0x80 are
// ASCII: ISO-8859, Windows, EUC, Shift_JIS, GB18030, Big5), or two or four
// in UTF-16 and UTF-32, told by a byte-order mark or by the zero bytes
// around a first '<'; or a byte each by an EBCDIC code page's table.
struct AsciiLayout {
  std::size_t start = 0;  // the first character's byte, after a mark
  std::size_t width = 1;  // bytes a character
  std::size_t low = 0;    // which of them holds the ASCII character
  const EbcdicCharacters* ebcdic = nullptr;  // the table, for EBCDIC

  // The ASCII character whose bytes start at byte `first`; 0 where the
  // document ends before it or it is another character.
  char characterAt(std::string_view document, std::size_t first) const;
  // Whether the characters are the bytes themselves (a byte each, ASCII).
  bool isAscii() const { return width == 1 && ebcdic == nullptr; }
  // Writes a space over the character whose bytes start at `unit`.
  void putSpace(std::uint8_t* unit) const;
};

// nullopt where the markup is not ASCII: a document read a byte at a time
// whose first character (after blanks and UTF-8's mark) is not '<' (EBCDIC).
std::optional<AsciiLayout> asciiLayoutOf(std::string_view document);

// The layout of a document in an EBCDIC code page with NL and LF (CCSID;
// see nlAsLfCodePage), NL read as LF as the scanner reads it; nullopt for a
// code page ICU has no table of.
std::optional<AsciiLayout> ebcdicLayoutOf(long ccsid);

}  // namespace wfxml::detail

#endif
