#include "xmlworkerutility.h"

#include "bitstreambuffer.h"

#include <xercesc/util/XMLChar.hpp>

#include <cstdio>
#include <cstring>
#include <initializer_list>

bool XMLUtils::isUnicode(long ccsid) {
  return ccsid == CCSID_UTF16 || ccsid == CCSID_UTF16_BE || ccsid == CCSID_UTF16_BE_ALT;
}

bool XMLUtils::isUTF8(long ccsid) { return ccsid == CCSID_UTF8; }

void XMLUtils::GetEndianFromBuffer(const BitstreamBuffer* buffer, EEndian& endian, long& markLength) {
  endian = eEndianNone;
  markLength = 0;
  if (!buffer || buffer->getLength() < 4) return;
  const std::uint8_t* b = buffer->getData(0);
  auto startsWith = [b](std::initializer_list<std::uint8_t> mark) {
    return std::memcmp(b, mark.begin(), mark.size()) == 0;
  };
  // UTF-32 marks first: FF FE 00 00 would otherwise read as UTF-16LE.
  if (startsWith({0x00, 0x00, 0xFE, 0xFF})) {
    endian = eEndianBig;
    markLength = 4;
  } else if (startsWith({0xFF, 0xFE, 0x00, 0x00}) || startsWith({0x00, 0x00, 0xFF, 0xFE}) ||
             startsWith({0xFE, 0xFF, 0x00, 0x00})) {
    endian = eEndianLittle;
    markLength = 4;
  } else if (startsWith({0xFE, 0xFF})) {
    endian = eEndianBig;
    markLength = 2;
  } else if (startsWith({0xFF, 0xFE})) {
    endian = eEndianLittle;
    markLength = 2;
  } else if (startsWith({0xEF, 0xBB, 0xBF})) {
    endian = eEndianBig;
    markLength = 3;
  }
}

ZelWstring XMLUtils::BuildEncodingString(long ccsid, EEndian endian, long markLength) {
  if (ccsid < 1) return ZelWstring();
  // With a mark the scanner finds UTF-16 and UTF-8 on its own, and the forced
  // names would not skip the mark.
  if (isUnicode(ccsid)) {
    if (markLength != 0) return ZelWstring();
    return ZelWstring(endian == eEndianLittle ? ENCODING_UTF16LE_STR : ENCODING_UTF16BE_STR);
  }
  if (isUTF8(ccsid) && markLength != 0) return ZelWstring();
  ZelWstring name(ENCODING_PREFIX);
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, "%ld", ccsid);
  for (int i = 0; i < n; ++i) name.convertChar(digits[i]);
  return name;
}

bool XMLUtils::isAllWhitespace(const char16_t* text, unsigned long length) {
  for (unsigned long i = 0; i < length; ++i) {
    if (!xercesc::XMLChar1_0::isWhitespace(text[i])) return false;
  }
  return true;
}

const char* XMLUtils::traceGetLogicalTypeDesc(ELogicalType type) { return logicalTypeName(type); }
