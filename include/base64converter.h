#ifndef BASE64CONVERTER_H
#define BASE64CONVERTER_H

#include "pwfdata.h"
#include "zelapi.h"
#include "zelwstring.h"

#include <cstddef>
#include <cstdint>

// Base64 text (xs:base64Binary) to bytes and back. Stateless.
class ZEL_API CPBase64Converter {
public:
  // Replaces out's text with the base64 of the bytes, padded with "=" and
  // without line breaks; returns out. No bytes give an empty text.
  static ZelWstring& binToBase64(const std::uint8_t* bytes, std::size_t length, ZelWstring& out);

  // The bytes of a base64 text as a Binary value. Whitespace (line breaks
  // included) anywhere in the text is ignored; the padding must be complete.
  // An empty or all-whitespace text gives no bytes. Anything else throws
  // ZelConversionException CP_CONVERSION_ERROR with the inserts
  // "base64 binary" and the text.
  static PWFData binFromBase64(const char16_t* text, std::size_t length);
};

#endif
