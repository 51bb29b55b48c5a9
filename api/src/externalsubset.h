#ifndef WFXML_SRC_EXTERNALSUBSET_H
#define WFXML_SRC_EXTERNALSUBSET_H

// Xerces-C makes an entity for a document's external DTD subset whenever it
// validates, and loses it: 104 bytes and its names, each document. The
// subset reads as empty all the same (see CheckingReader), so its id
// (SYSTEM "..." or PUBLIC "..." "...") is blanked out of a copy of the
// document instead, line ends kept: there is then no subset to read.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wfxml::detail {

// Blanks the external id out of `copy` (which takes the document's bytes
// when empty) and says whether there was one. The document is read as the
// scanner reads it, forced to scannerEncoding (as scannerEncodingOf names
// it; empty for none): UTF-16 and UTF-32 a character at a time, EBCDIC
// through its code page's table; every character of the id goes blank, a
// unit of blank a unit. Left as they are (their subset reads as empty, with
// the loss): an id with a character the scanner refuses there, which it then
// reports; an id after a shift of double-byte EBCDIC; in UTF-32, an id with a
// character beyond U+FFFF on its last line, whose blank would count a column
// less for what follows.
bool blankExternalSubsetId(std::string_view document, const std::u16string& scannerEncoding,
                           std::vector<std::uint8_t>& copy);

}  // namespace wfxml::detail

#endif
