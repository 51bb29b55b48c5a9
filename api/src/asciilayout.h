#ifndef WFXML_SRC_ASCIILAYOUT_H
#define WFXML_SRC_ASCIILAYOUT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wfxml::detail {

// Stands for a character that is not ASCII where a document's characters
// are read a byte each.
constexpr char kOtherCharacter = '\x80';

// The ASCII character of each byte of an EBCDIC code page read a byte at a
// time, kOtherCharacter for another character; 0 for a shift of a
// double-byte form.
using EbcdicCharacters = std::array<char, 256>;

// A character of a document: its ASCII character or kOtherCharacter, its
// bytes, and the columns the scanner counts for it (its UTF-16 units); no
// bytes where the document ends or its bytes are no character there
// (U+0000, a lone surrogate, a shift of double-byte EBCDIC).
struct SpelledCharacter {
  char ascii = 0;
  std::size_t bytes = 0;
  std::size_t columns = 1;
};

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

  // The character whose bytes start at byte `first` (a surrogate pair is one).
  SpelledCharacter characterFrom(std::string_view document, std::size_t first) const;
  // The same for a walk through the document from its start, which keeps the
  // shift state of double-byte EBCDIC (IBM930, IBM939, IBM1390): after a
  // shift out (0x0E) each pair of bytes is a character (not ASCII) up to a
  // shift in (0x0F); the shifts are characters of no column.
  SpelledCharacter characterFrom(std::string_view document, std::size_t first, bool& doubleByte) const;
  // The ASCII character whose bytes start at byte `first`; 0 where the
  // document ends before it or it is another character. Inline: the scan
  // for cut values asks it of nearly every document parsed.
  char characterAt(std::string_view document, std::size_t first) const {
    if (first + width > document.size()) return 0;
    if (ebcdic) {
      const char c = (*ebcdic)[static_cast<unsigned char>(document[first])];
      return c == kOtherCharacter ? 0 : c;
    }
    for (std::size_t i = 0; i < width; ++i)
      if (i != low && document[first + i] != 0) return 0;
    const char c = document[first + low];
    return static_cast<unsigned char>(c) < 0x80 ? c : 0;
  }
  // Whether the characters are the bytes themselves (a byte each, ASCII).
  bool isAscii() const { return width == 1 && ebcdic == nullptr; }
  // Writes spaces over `bytes` bytes from `first`, one a unit: a surrogate
  // pair takes two, as the scanner counts its columns.
  void putSpaces(std::uint8_t* first, std::size_t bytes) const;
};

// nullopt where the markup is not ASCII: a document read a byte at a time
// whose first character (after blanks and UTF-8's mark) is not '<' (EBCDIC).
std::optional<AsciiLayout> asciiLayoutOf(std::string_view document);

// The layout of a document in an EBCDIC code page with NL and LF (CCSID;
// see nlAsLfCodePage), NL read as LF as the scanner reads it; nullopt for a
// code page ICU has no table of.
std::optional<AsciiLayout> ebcdicLayoutOf(long ccsid);

// The layout of a document as the scanner reads it, forced to
// scannerEncoding (as scannerEncodingOf names it; empty for none): its
// ASCII layout, else that of the EBCDIC code page it is read in.
std::optional<AsciiLayout> markupLayoutOf(std::string_view document, const std::u16string& scannerEncoding);

}  // namespace wfxml::detail

#endif
