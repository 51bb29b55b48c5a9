// Numeric and binary conversions of DataCnv, and the helpers every
// conversion shares. Date-times and durations live in datacnv_xsd.cpp and
// datacnv_pattern.cpp.
#include "datacnv.h"

#include "zelexception.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string>

namespace {

constexpr const char* kExpectInt64 = "64-bit integer";
constexpr const char* kExpectInt32 = "32-bit integer";
constexpr const char* kExpectDouble = "double";
constexpr const char* kExpectDecimal = "decimal";
constexpr const char* kExpectHex = "hexadecimal binary";

bool isXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string_view stripXmlSpace(std::u16string_view s) {
  while (!s.empty() && isXmlSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isXmlSpace(s.back())) s.remove_suffix(1);
  return s;
}

// How a numeric text is spelled (the caller's arguments).
struct NumberSyntax {
  long signMode;
  char16_t minus;
  char16_t plus;
  char16_t point;  // 0: integers, no point
  long trim;
  long justification;
  char16_t pad;
  bool strict;
};

// A numeric text taken apart; the views point into the caller's text.
struct NumberParts {
  char16_t sign = 0;  // 0, u'-' or u'+'
  std::u16string_view integer;
  bool hasPoint = false;
  std::u16string_view fraction;
};

std::u16string_view trimPad(std::u16string_view s, const NumberSyntax& syntax) {
  if (syntax.justification == DataCnv::JUSTIFY_LEFT) {
    while (s.size() > 1 && s.back() == syntax.pad) s.remove_suffix(1);
  } else {
    while (s.size() > 1 && s.front() == syntax.pad) s.remove_prefix(1);
  }
  return s;
}

char16_t signOf(char16_t c, const NumberSyntax& syntax) {
  if (c == syntax.minus) return u'-';
  if (c == syntax.plus) return u'+';
  return 0;
}

// Splits s into sign, integer digits and fraction digits; false when s is
// not a number of this syntax.
bool splitNumber(std::u16string_view s, const NumberSyntax& syntax, NumberParts& parts) {
  if (!syntax.strict) s = stripXmlSpace(s);
  if (syntax.trim != 0) s = trimPad(s, syntax);
  if (s.empty()) return false;
  switch (syntax.signMode) {
    case DataCnv::SIGN_NONE: break;
    case DataCnv::SIGN_LEADING_MINUS:
      if (s.front() == syntax.minus) {
        parts.sign = u'-';
        s.remove_prefix(1);
      }
      break;
    case DataCnv::SIGN_TRAILING:
      if ((parts.sign = signOf(s.back(), syntax)) != 0) s.remove_suffix(1);
      break;
    default:
      if ((parts.sign = signOf(s.front(), syntax)) != 0) s.remove_prefix(1);
      break;
  }
  std::size_t i = 0;
  while (i < s.size() && isDigit(s[i])) ++i;
  parts.integer = s.substr(0, i);
  if (i < s.size() && syntax.point != 0 && s[i] == syntax.point) {
    parts.hasPoint = true;
    const std::size_t start = ++i;
    while (i < s.size() && isDigit(s[i])) ++i;
    parts.fraction = s.substr(start, i - start);
  }
  return i == s.size() && !(parts.integer.empty() && parts.fraction.empty());
}

bool toInt64(const NumberParts& parts, std::int64_t& value) {
  if (parts.hasPoint || parts.integer.empty()) return false;
  const bool negative = parts.sign == u'-';
  const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
  std::uint64_t magnitude = 0;
  for (const char16_t c : parts.integer) {
    const unsigned digit = c - u'0';
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  // Two's complement negation of the magnitude also covers INT64_MIN.
  value = static_cast<std::int64_t>(negative ? ~magnitude + 1 : magnitude);
  return true;
}

// The common spelling read without taking the text apart: strict, no
// padding, an optional leading sign, then at most 18 digits (too few to
// overflow). False: the text needs the general path (or is no number).
bool readPlainInteger(std::u16string_view s, const NumberSyntax& syntax, std::int64_t& value) {
  if (!syntax.strict || syntax.trim != 0 || syntax.signMode != DataCnv::SIGN_LEADING || s.empty()) return false;
  std::size_t i = 0;
  const bool negative = s[0] == syntax.minus;
  if (negative || s[0] == syntax.plus) ++i;
  const std::size_t digits = s.size() - i;
  if (digits == 0 || digits > 18) return false;
  std::int64_t magnitude = 0;
  for (; i < s.size(); ++i) {
    if (!isDigit(s[i])) return false;
    magnitude = magnitude * 10 + (s[i] - u'0');
  }
  value = negative ? -magnitude : magnitude;
  return true;
}

// Reads an integer of this syntax between min and max.
bool readInteger(std::u16string_view text, const NumberSyntax& syntax, std::int64_t min, std::int64_t max,
                 std::int64_t& value) {
  if (readPlainInteger(text, syntax, value)) return value >= min && value <= max;
  NumberParts parts;
  return splitNumber(text, syntax, parts) && toInt64(parts, value) && value >= min && value <= max;
}

// Whether a strict, unpadded decimal with leading sign in the spelling
// "-", "+", "." is well formed: its text is then already the value's text.
bool isPlainDecimal(std::u16string_view s, const NumberSyntax& syntax) {
  if (!syntax.strict || syntax.trim != 0 || syntax.signMode != DataCnv::SIGN_LEADING || syntax.minus != u'-' ||
      syntax.plus != u'+' || syntax.point != u'.')
    return false;
  std::size_t i = !s.empty() && (s[0] == u'-' || s[0] == u'+') ? 1 : 0;
  std::size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == u'.') {
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  }
  return i == s.size() && digits > 0;
}

// Whether a decimal text out of the double range is too large (rather than
// too small): the power of ten of its first significant digit is positive.
bool isBeyondDoubleRange(std::u16string_view mantissa, long long exponent) {
  const std::size_t point = mantissa.find(u'.');
  const std::u16string_view integer = mantissa.substr(0, point);
  const std::size_t firstNonZero = integer.find_first_not_of(u'0');
  if (firstNonZero != std::u16string_view::npos)
    return exponent + static_cast<long long>(integer.size() - firstNonZero) - 1 > 0;
  const std::u16string_view fraction =
      point == std::u16string_view::npos ? std::u16string_view() : mantissa.substr(point + 1);
  return exponent - static_cast<long long>(fraction.find_first_not_of(u'0')) - 1 > 0;
}

// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Digits with an optional point and sign, at most 15 of them: the digits
// as an integer and the power of ten are both exact doubles, so one
// division gives the correctly rounded value, as the general path would.
// False: the text needs the general path (or is no double).
bool readPlainDouble(std::u16string_view s, double& value) {
  std::size_t i = !s.empty() && (s[0] == u'-' || s[0] == u'+') ? 1 : 0;
  std::uint64_t digitsValue = 0;
  std::size_t digits = 0;
  std::size_t fractionDigits = 0;
  for (; i < s.size() && isDigit(s[i]); ++i, ++digits) digitsValue = digitsValue * 10 + (s[i] - u'0');
  if (i < s.size() && s[i] == u'.') {
    for (++i; i < s.size() && isDigit(s[i]); ++i, ++digits, ++fractionDigits)
      digitsValue = digitsValue * 10 + (s[i] - u'0');
  }
  // Beyond 15 digits the integer may have wrapped: it is not used then.
  if (i != s.size() || digits == 0 || digits > 15) return false;
  value = static_cast<double>(digitsValue) / kExactPowersOfTen[fractionDigits];
  if (s[0] == u'-') value = -value;
  return true;
}

// Reads an xs:double spelling; false when s is none.
bool parseDouble(std::u16string_view s, double& value) {
  if (readPlainDouble(s, value)) return true;
  const bool negative = !s.empty() && s.front() == u'-';
  const std::u16string_view unsignedText = (!s.empty() && (s.front() == u'-' || s.front() == u'+')) ? s.substr(1) : s;
  if (unsignedText == u"INF") {
    value = negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    return true;
  }
  if (s == u"NaN") {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  // Mantissa: digits with an optional point, at least one digit.
  std::size_t i = 0;
  std::size_t digits = 0;
  while (i < unsignedText.size() && isDigit(unsignedText[i])) ++i, ++digits;
  if (i < unsignedText.size() && unsignedText[i] == u'.') {
    ++i;
    while (i < unsignedText.size() && isDigit(unsignedText[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  const std::u16string_view mantissa = unsignedText.substr(0, i);
  long long exponent = 0;
  if (i < unsignedText.size()) {
    if (unsignedText[i] != u'e' && unsignedText[i] != u'E') return false;
    ++i;
    const bool negativeExponent = i < unsignedText.size() && unsignedText[i] == u'-';
    if (i < unsignedText.size() && (unsignedText[i] == u'-' || unsignedText[i] == u'+')) ++i;
    if (i == unsignedText.size()) return false;
    for (; i < unsignedText.size(); ++i) {
      if (!isDigit(unsignedText[i])) return false;
      // Saturate: any exponent beyond a billion is out of range anyway.
      if (exponent < 1000000000) exponent = exponent * 10 + (unsignedText[i] - u'0');
    }
    if (negativeExponent) exponent = -exponent;
  }
  // from_chars reads no leading plus; everything else is ASCII by now.
  // Typical values fit the stack buffer.
  char small[64];
  std::string large;
  char* ascii = small;
  if (unsignedText.size() + 1 > sizeof small) {
    large.resize(unsignedText.size() + 1);
    ascii = large.data();
  }
  std::size_t n = 0;
  if (negative) ascii[n++] = '-';
  for (const char16_t c : unsignedText) ascii[n++] = static_cast<char>(c);
  const auto result = std::from_chars(ascii, ascii + n, value);
  if (result.ec == std::errc::result_out_of_range) {
    value = isBeyondDoubleRange(mantissa, exponent) ? std::numeric_limits<double>::infinity() : 0.0;
    if (negative) value = -value;
    return true;
  }
  return result.ec == std::errc() && result.ptr == ascii + n;
}

int hexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// An optional sign, digits, an optional point and more digits; at least one
// digit: what StrToDec reads with the default characters and no padding.
bool isSchemaDecimal(std::u16string_view s) {
  std::size_t i = !s.empty() && (s[0] == u'-' || s[0] == u'+') ? 1 : 0;
  bool digits = false;
  bool point = false;
  for (; i < s.size(); ++i) {
    if (isDigit(s[i]))
      digits = true;
    else if (s[i] == u'.' && !point)
      point = true;
    else
      return false;
  }
  return digits;
}

// The text of value, when it is a decimal m / 10^k with m below 10^15 that
// reads back as value and whose shortest spelling is fixed rather than
// scientific; else 0 and nothing written. Such a decimal is the shortest
// round-trip text, the one std::to_chars finds at several times the cost:
// two decimals of at most 15 significant digits lie further apart than
// neighbouring doubles, so no other one of them reads back as value. out
// needs room for 20 characters.
std::size_t shortFixedDouble(double value, char* out) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,
                                            1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17};
  static constexpr double kDigitsLimit = 1e15;
  const double magnitude = std::fabs(value);
  // Below 0.001 and from 10^15 on, scientific spellings may be shorter.
  if (!(magnitude >= 1e-3 && magnitude < kDigitsLimit)) return 0;
  for (int k = 0; k < static_cast<int>(std::size(kPowersOfTen)); ++k) {
    const double scaled = magnitude * kPowersOfTen[k];
    if (scaled >= kDigitsLimit) return 0;
    std::uint64_t digits = static_cast<std::uint64_t>(scaled);
    // Both operands of the division are exact, so it rounds as reading the text does.
    if (static_cast<double>(digits) != scaled || static_cast<double>(digits) / kPowersOfTen[k] != magnitude) continue;
    int fractionDigits = k;
    for (; fractionDigits > 0 && digits % 10 == 0; --fractionDigits) digits /= 10;
    char text[16];
    const int length = static_cast<int>(std::to_chars(text, text + sizeof text, digits).ptr - text);
    if (fractionDigits == 0) {
      // An integer: "1E5" beats "100000" once five zeros end it (six after two digits).
      int zeros = 0;
      while (zeros < length - 1 && text[length - 1 - zeros] == '0') ++zeros;
      if (zeros > (length - zeros > 1 ? 5 : 4)) return 0;
    }
    char* p = out;
    if (value < 0) *p++ = '-';
    const int integerDigits = length - fractionDigits;
    if (integerDigits <= 0) {
      *p++ = '0';
      *p++ = '.';
      for (int i = integerDigits; i < 0; ++i) *p++ = '0';
      for (int i = 0; i < length; ++i) *p++ = text[i];
    } else {
      for (int i = 0; i < integerDigits; ++i) *p++ = text[i];
      if (fractionDigits > 0) *p++ = '.';
      for (int i = integerDigits; i < length; ++i) *p++ = text[i];
    }
    return static_cast<std::size_t>(p - out);
  }
  return 0;
}

// The shortest round-trip text of a finite value by std::to_chars, fixed or
// scientific, whichever is shorter; its exponent "e+07" spelled "E7". out
// needs room for 32 characters.
std::size_t shortestDouble(double value, char* out) {
  char buffer[32];
  const std::size_t length = static_cast<std::size_t>(std::to_chars(buffer, buffer + sizeof buffer, value).ptr - buffer);
  const std::size_t e = std::string_view(buffer, length).find('e');
  if (e == std::string_view::npos) {
    std::memcpy(out, buffer, length);
    return length;
  }
  std::size_t n = 0;
  for (std::size_t i = 0; i < e; ++i) out[n++] = buffer[i];
  out[n++] = 'E';
  std::size_t i = e + 1;
  if (buffer[i] == '-') out[n++] = buffer[i];
  if (buffer[i] == '-' || buffer[i] == '+') ++i;
  while (i + 1 < length && buffer[i] == '0') ++i;
  while (i < length) out[n++] = buffer[i++];
  return n;
}

bool isUtf16Codepage(long codepage) { return codepage == 1200 || codepage == 13488 || codepage == 17584; }

}  // namespace

void DataCnv::throwConversionError(const char* file, long line, const char* function, const char* expected,
                                   std::u16string_view text, const char16_t* pattern) const {
  if (ZelLog::traceOn())
    ZelLog::trace(&log_, function, {"Throwing exception", file, static_cast<long>(line), expected});
  ZelConversionException error(file, line, function, log_.getLogSourceName(), ZelMessages::CP_CONVERSION_ERROR);
  error.addInsert(expected);
  error.addInsert(text.data(), text.size());
  if (pattern) error.addInsert(pattern);
  throw error;
}

std::u16string_view DataCnv::valueText(const char16_t* text, std::size_t length) const {
  const std::u16string_view view(text, text ? length : 0);
  return collapseWhitespace_ ? stripXmlSpace(view) : view;
}

void DataCnv::checkConstruction(long codepage, long floatFormat, long floatPrecisionBits) const {
  if (!isUtf16Codepage(codepage)) {
    ZelFatalException error(__FILE__, __LINE__, "DataCnv::DataCnv", log_.getLogSourceName(),
                            ZelMessages::CP_CODEPAGE_ERROR);
    error.addInsert(codepage);
    throw error;
  }
  if (floatFormat != 1 || floatPrecisionBits != 53) {
    ZelFatalException error(__FILE__, __LINE__, "DataCnv::DataCnv", log_.getLogSourceName(),
                            ZelMessages::CP_INTERNAL_ERROR);
    error.addInsert("Unsupported float representation");
    error.addInsert(floatFormat);
    error.addInsert(floatPrecisionBits);
    throw error;
  }
}

PWFData DataCnv::StrToInt64(const char16_t* text, std::size_t length, long signMode, char16_t minusChar,
                            char16_t plusChar, long trim, long justification, char16_t padChar, bool strict) const {
  PWFData value;
  StrToInt64(text, length, signMode, minusChar, plusChar, trim, justification, padChar, strict, value);
  return value;
}

void DataCnv::StrToInt64(const char16_t* text, std::size_t length, long signMode, char16_t minusChar,
                         char16_t plusChar, long trim, long justification, char16_t padChar, bool strict,
                         PWFData& value) const {
  const std::u16string_view view(text, text ? length : 0);
  const NumberSyntax syntax{signMode, minusChar, plusChar, 0, trim, justification, padChar, strict};
  std::int64_t number = 0;
  if (!readInteger(view, syntax, INT64_MIN, INT64_MAX, number))
    throwConversionError(__FILE__, __LINE__, "DataCnv::StrToInt64", kExpectInt64, view);
  value.assignInteger(number);
}

PWFData DataCnv::StrToInt32(const char16_t* text, std::size_t length, long signMode, char16_t minusChar,
                            char16_t plusChar, long trim, long justification, char16_t padChar, bool strict) const {
  const std::u16string_view view(text, text ? length : 0);
  const NumberSyntax syntax{signMode, minusChar, plusChar, 0, trim, justification, padChar, strict};
  std::int64_t value = 0;
  if (!readInteger(view, syntax, INT32_MIN, INT32_MAX, value))
    throwConversionError(__FILE__, __LINE__, "DataCnv::StrToInt32", kExpectInt32, view);
  return PWFData::makeInteger(value);
}

PWFData DataCnv::StrToDbl(const char16_t* text, std::size_t length) const {
  PWFData value;
  StrToDbl(text, length, value);
  return value;
}

void DataCnv::StrToDbl(const char16_t* text, std::size_t length, PWFData& value) const {
  const std::u16string_view view = valueText(text, length);
  double number = 0;
  if (!parseDouble(view, number)) throwConversionError(__FILE__, __LINE__, "DataCnv::StrToDbl", kExpectDouble, view);
  value.assignFloat(number);
}

PWFData DataCnv::StrToDec(const char16_t* text, std::size_t length, bool impliedDecimal, long impliedScale,
                          char16_t decimalChar, long signMode, char16_t minusChar, char16_t plusChar, long trim,
                          long justification, char16_t padChar, bool strict) const {
  PWFData value;
  StrToDec(text, length, impliedDecimal, impliedScale, decimalChar, signMode, minusChar, plusChar, trim, justification,
           padChar, strict, value);
  return value;
}

void DataCnv::StrToDec(const char16_t* text, std::size_t length, bool impliedDecimal, long impliedScale,
                       char16_t decimalChar, long signMode, char16_t minusChar, char16_t plusChar, long trim,
                       long justification, char16_t padChar, bool strict, PWFData& value) const {
  const std::u16string_view view(text, text ? length : 0);
  const NumberSyntax syntax{signMode, minusChar,     plusChar, impliedDecimal ? char16_t(0) : decimalChar,
                            trim,     justification, padChar,  strict};
  if (!impliedDecimal && isPlainDecimal(view, syntax)) {
    value.assignDecimal(view.data(), view.size());
    return;
  }
  NumberParts parts;
  if (!splitNumber(view, syntax, parts))
    throwConversionError(__FILE__, __LINE__, "DataCnv::StrToDec", kExpectDecimal, view);
  ZelBufferedWstring<32> decimal;
  if (parts.sign) decimal.append(parts.sign);
  if (impliedDecimal && impliedScale > 0) {
    // The last impliedScale digits are the fraction; zeros fill a short text.
    const std::size_t scale = static_cast<std::size_t>(impliedScale);
    const std::u16string_view digits = parts.integer;
    if (digits.size() > scale)
      decimal.append(digits.substr(0, digits.size() - scale));
    else
      decimal.append(u'0');
    decimal.append(u'.');
    for (std::size_t i = digits.size(); i < scale; ++i) decimal.append(u'0');
    decimal.append(digits.size() > scale ? digits.substr(digits.size() - scale) : digits);
  } else {
    decimal.append(parts.integer);
    if (parts.hasPoint) decimal.append(u'.').append(parts.fraction);
  }
  value.assignDecimal(decimal.data(), decimal.length());
}

PWFData DataCnv::StrToBin(const char16_t* text, std::size_t length) const {
  const std::u16string_view view = valueText(text, length);
  if (view.size() % 2 != 0) throwConversionError(__FILE__, __LINE__, "DataCnv::StrToBin", kExpectHex, view);
  std::vector<std::uint8_t> bytes(view.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int high = hexDigitValue(view[2 * i]);
    const int low = hexDigitValue(view[2 * i + 1]);
    if (high < 0 || low < 0) throwConversionError(__FILE__, __LINE__, "DataCnv::StrToBin", kExpectHex, view);
    bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return PWFData::makeBinary(std::move(bytes));
}

std::size_t DataCnv::StrFromInt64(std::int64_t value, char16_t* text) {
  char buffer[24];  // 19 digits and a sign
  const std::size_t length = static_cast<std::size_t>(std::to_chars(buffer, buffer + sizeof buffer, value).ptr - buffer);
  for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(buffer[i]);
  return length;
}

ZelWstring& DataCnv::StrFromInt64(std::int64_t value, ZelWstring& out) const {
  char16_t text[MAX_NUMBER_TEXT];
  return out.assign(text, StrFromInt64(value, text));
}

std::size_t DataCnv::StrFromDbl(double value, char16_t* text) {
  static constexpr std::u16string_view kNaN = u"NaN", kInfinity = u"INF", kNegativeInfinity = u"-INF";
  if (std::isnan(value) || std::isinf(value)) {
    const std::u16string_view name = std::isnan(value) ? kNaN : value < 0 ? kNegativeInfinity : kInfinity;
    name.copy(text, name.size());
    return name.size();
  }
  char buffer[32];
  std::size_t length = shortFixedDouble(value, buffer);
  if (length == 0) length = shortestDouble(value, buffer);
  for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(buffer[i]);
  return length;
}

namespace {
// "-"? then "0" or digits from 1 up, then "." and digits: at most 15 digits,
// the last of them not 0, and at least 0.1. Such a decimal reads as its
// nearest double, and no other decimal of at most 15 digits reads as that
// double, so the shortest spelling of the double has these digits; below
// 10^15 and from 0.1 on, without trailing zeros, it is written fixed.
bool isShortestByShape(std::u16string_view text) {
  std::size_t i = !text.empty() && text[0] == u'-' ? 1 : 0;
  const std::size_t integerStart = i;
  while (i < text.size() && isDigit(text[i])) ++i;
  const std::size_t integerDigits = i - integerStart;
  if (integerDigits == 0 || (integerDigits > 1 && text[integerStart] == u'0')) return false;
  const bool zeroInteger = text[integerStart] == u'0';
  std::size_t fractionDigits = 0;
  if (i < text.size() && text[i] == u'.') {
    for (++i; i < text.size() && isDigit(text[i]); ++i) ++fractionDigits;
    if (fractionDigits == 0 || (zeroInteger && text[integerStart + 2] == u'0')) return false;
  } else if (zeroInteger) {
    return false;
  }
  const std::size_t significant = (zeroInteger ? 0 : integerDigits) + fractionDigits;
  return i == text.size() && significant <= 15 && text.back() != u'0';
}
}  // namespace

bool DataCnv::isDoubleWrittenAs(double value, std::u16string_view text) {
  if (isShortestByShape(text)) return true;
  char16_t written[MAX_NUMBER_TEXT];
  return text == std::u16string_view(written, StrFromDbl(value, written));
}

ZelWstring& DataCnv::StrFromDbl(double value, ZelWstring& out) const {
  char16_t text[MAX_NUMBER_TEXT];
  return out.assign(text, StrFromDbl(value, text));
}

std::u16string_view DataCnv::StrFromDec(const ZelWstring& decimal) const {
  if (!isSchemaDecimal(decimal.view()))
    throwConversionError(__FILE__, __LINE__, "DataCnv::StrFromDec", kExpectDecimal, decimal.view());
  return decimal.view();
}

ZelWstring& DataCnv::StrFromDec(const ZelWstring& decimal, ZelWstring& out) const {
  return out.assign(StrFromDec(decimal));
}

ZelWstring& DataCnv::StrFromBin(const std::uint8_t* bytes, std::size_t length, ZelWstring& out) const {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  out.resize(2 * length);
  for (std::size_t i = 0; i < length; ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 0xF];
  }
  return out;
}
