#ifndef WFXML_SRC_UNDEFINEDBYTES_H
#define WFXML_SRC_UNDEFINEDBYTES_H

// Bytes a document's code page does not define. Xerces-C reads a code page
// other than its own (UTF-8, UTF-16, US-ASCII, ISO-8859-1, a few EBCDIC ones)
// through an ICU converter that puts U+FFFD in the place of such bytes
// (U+001A in some tables), so that a Shift_JIS pair without a character, or
// any byte above 0x7F named US-ASCII, read as a replacement character
// instead of a fault. And it drops the bytes of a last UTF-16 or UTF-32 unit
// that the end cuts short.

#include <cstddef>
#include <optional>
#include <string>

namespace wfxml::detail {

struct UndefinedBytes {
  std::size_t line = 0;    // of the first such bytes, in characters from 1, as the scanner counts them
  std::size_t column = 0;
  std::string bytes;       // "0x85 0x40"
  std::string encoding;    // the code page, as forced or declared
};

// The first bytes that the document's code page (scannerEncoding, as
// scannerEncodingOf names it, else the one its declaration names) does not
// define; nullopt where it defines them all, or where the scanner reads the
// code page itself.
std::optional<UndefinedBytes> firstUndefinedBytes(const void* bytes, std::size_t size,
                                                  const std::u16string& scannerEncoding);
// The code page the scanner reads the document in through ICU, by the name
// forced on it (scannerEncoding) or declared: empty where it reads the
// document itself.
std::string icuCodePageName(const void* bytes, std::size_t size, const std::u16string& scannerEncoding);
// What is wrong there, as a problem's message.
std::string undefinedBytesReason(const UndefinedBytes& undefined);

}  // namespace wfxml::detail

#endif
