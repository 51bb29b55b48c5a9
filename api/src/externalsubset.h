#ifndef WFXML_SRC_EXTERNALSUBSET_H
#define WFXML_SRC_EXTERNALSUBSET_H

// Xerces-C makes an entity for a document's external DTD subset whenever it
// validates, and loses it: 104 bytes and its names, each document. The
// subset reads as empty all the same (see CheckingReader), so its id
// (SYSTEM "..." or PUBLIC "..." "...") is blanked out of a copy of the
// document instead, line ends kept: there is then no subset to read.

#include <cstdint>
#include <string_view>
#include <vector>

namespace wfxml::detail {

// Blanks the external id out of `copy` (which takes the document's bytes
// when empty) and says whether there was one. An id that is not ASCII in a
// UTF-16 or UTF-32 document, one past the first 64 K characters of such a
// document, and any in EBCDIC are left: their subset reads as empty, with
// the loss.
bool blankExternalSubsetId(std::string_view document, std::vector<std::uint8_t>& copy);

}  // namespace wfxml::detail

#endif
