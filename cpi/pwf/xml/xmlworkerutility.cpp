#include "xmlworkerutility.h"

#include "bitstreambuffer.h"
#include "datacnv.h"
#include "zelexception.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// XML 1.0's four whitespace characters by name: next line and line
// separator are text, which the scanner's tables of XML 1.1 count as
// whitespace.
bool XMLUtils::isAllWhitespace(const char16_t* text, unsigned long length) {
#if defined(__SSE2__)
  // The indentation between elements is asked about for every element:
  // eight units at a time, the last eight overlapping the ones before.
  if (length >= 8) {
    const __m128i blank = _mm_set1_epi16(u' '), lineFeed = _mm_set1_epi16(u'\n');
    const __m128i tab = _mm_set1_epi16(u'\t'), carriageReturn = _mm_set1_epi16(u'\r');
    const auto whiteAt = [&](unsigned long i) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
      const __m128i white = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, blank), _mm_cmpeq_epi16(units, lineFeed)),
                                         _mm_or_si128(_mm_cmpeq_epi16(units, tab), _mm_cmpeq_epi16(units, carriageReturn)));
      return _mm_movemask_epi8(white) == 0xFFFF;
    };
    for (unsigned long i = 0; i + 8 < length; i += 8)
      if (!whiteAt(i)) return false;
    return whiteAt(length - 8);
  }
#endif
  for (unsigned long i = 0; i < length; ++i)
    if (!isWhitespace(text[i])) return false;
  return true;
}

DataCnv XMLUtils::makeDataCnv() {
  return DataCnv(CCSID_UTF16, eEndianBig, /*floatFormat=*/1, /*floatPrecisionBits=*/53,
                 /*defaultDateTimeFormat=*/nullptr, /*collapseWhitespace=*/false, /*defaultTimeZone=*/nullptr,
                 /*firstDayOfWeek=*/0, /*allowLenient=*/true, /*centuryWindow=*/12, /*preserveUTCFormat=*/false,
                 /*firstWeekOfYear=*/0, /*logSource=*/nullptr);
}

PWFData XMLUtils::convertStringToData(const char16_t* text, unsigned length, ELogicalType type,
                                      const char16_t* format) {
  const DataCnv cnv = makeDataCnv();
  switch (type) {
    case eLogicalNone: return PWFData::makeUntyped(text, length);
    case eLogicalString: return PWFData::makeString(text, length);
    case eLogicalInteger:
      return cnv.StrToInt64(text, length, DataCnv::SIGN_LEADING, DataCnv::US_MINUS, DataCnv::US_PLUS, /*trim=*/0,
                            DataCnv::JUSTIFY_RIGHT, u'0', /*strict=*/true);
    case eLogicalFloat: return cnv.StrToDbl(text, length);
    case eLogicalBinary: return cnv.StrToBin(text, length);
    case eLogicalBoolean: return PWFData::makeBoolean(text[0] == u'1' && text[1] == 0);
    case eLogicalInterval: return cnv.StrToInterval(text, length);
    case eLogicalDateTime: return cnv.StrToDateTime(text, format, -1);
    case eLogicalDecimal: return PWFData::makeDecimal(ZelWstring(text, length));
  }
  ZelParserException e(__FILE__, __LINE__, "XMLUtils::convertStringToData", nullptr,
                       ZelMessages::CP_XML_INTERNAL_ERROR);
  e.addInsert("Unknown logical type");
  throw e;
}

PWFData XMLUtils::convertStringToData(const char16_t* text, ELogicalType type, const char16_t* format) {
  return convertStringToData(text, static_cast<unsigned>(std::char_traits<char16_t>::length(text)), type, format);
}

const char* XMLUtils::traceGetLogicalTypeDesc(ELogicalType type) { return logicalTypeName(type); }
