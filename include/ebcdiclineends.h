#ifndef EBCDICLINEENDS_H
#define EBCDICLINEENDS_H

#include "zelapi.h"

#include <cstddef>
#include <cstdint>

// Mainframe documents end their lines with EBCDIC's NL (0x15), which the
// EBCDIC code pages' tables read as U+0085: to XML 1.0 a character of the
// text, and refused in markup. Such documents are scanned with each NL as LF
// (0x25), so that either ends a line, while U+0085 and U+2028 in documents
// of any other code page stay characters of their text. (U+0085 written
// into an EBCDIC document goes as a character reference.)

// Whether a document in the code page ccsid, or with ccsid 0 in the one its
// XML declaration names, is scanned with NL as LF: the code page is EBCDIC
// with both NL and LF.
ZEL_API bool scansNlAsLf(long ccsid, const void* bytes, std::size_t size);

// Every NL as LF, in place.
ZEL_API void nlToLf(std::uint8_t* bytes, std::size_t size);

#endif
