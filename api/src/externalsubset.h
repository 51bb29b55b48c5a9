#ifndef WFXML_SRC_EXTERNALSUBSET_H
#define WFXML_SRC_EXTERNALSUBSET_H

// Xerces-C makes an entity for a document's external DTD subset whenever it
// validates, and loses it: 104 bytes and its names, each document. The
// subset reads as empty all the same (see CheckingReader), so its id
// (SYSTEM "..." or PUBLIC "..." "...") is blanked out of a copy of the
// document instead, line ends kept: there is then no subset to read.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wfxml::detail {

// An external id blanked out of a copy of a document: its blanks, a byte or
// unit a blank, count columnsAdded more columns (fewer below 0) than its
// characters on its last line (UTF-8 and multi-byte code pages more, a
// character beyond U+FFFF in UTF-32 fewer), so that what the scanner reports
// after it on that line stands that much further right. 0 where a line end
// follows the id before the declaration goes on.
struct BlankedId {
  long columnsAdded = 0;
};

// Blanks the external id out of `copy` (which takes the document's bytes
// when empty); nullopt where there is none. The document is read as the
// scanner reads it, forced to scannerEncoding (as scannerEncodingOf names
// it; empty for none): UTF-16 and UTF-32 a character at a time, EBCDIC
// through its code page's table and shifts. Left as it is (its subset reads
// as empty, with the loss): an id with a character the scanner refuses
// there, which it then reports.
std::optional<BlankedId> blankExternalSubsetId(std::string_view document, const std::u16string& scannerEncoding,
                                               std::vector<std::uint8_t>& copy);

}  // namespace wfxml::detail

#endif
