#include "xsdlexical.h"

#include <xercesc/util/XMLChar.hpp>

#include <algorithm>
#include <string>
#include <utility>

namespace {

constexpr std::pair<std::u16string_view, XsdBuiltin> kBuiltinNames[] = {
    {u"string", XsdBuiltin::String},
    {u"normalizedString", XsdBuiltin::NormalizedString},
    {u"token", XsdBuiltin::Token},
    {u"language", XsdBuiltin::Language},
    {u"Name", XsdBuiltin::Name},
    {u"NCName", XsdBuiltin::NCName},
    {u"NMTOKEN", XsdBuiltin::NMToken},
    {u"ID", XsdBuiltin::Id},
    {u"IDREF", XsdBuiltin::IdRef},
    {u"ENTITY", XsdBuiltin::Entity},
    {u"anyURI", XsdBuiltin::AnyUri},
    {u"QName", XsdBuiltin::QName},
    {u"NOTATION", XsdBuiltin::Notation},
    {u"anySimpleType", XsdBuiltin::AnySimpleType},
    {u"boolean", XsdBuiltin::Boolean},
    {u"decimal", XsdBuiltin::Decimal},
    {u"integer", XsdBuiltin::Integer},
    {u"nonPositiveInteger", XsdBuiltin::NonPositiveInteger},
    {u"negativeInteger", XsdBuiltin::NegativeInteger},
    {u"nonNegativeInteger", XsdBuiltin::NonNegativeInteger},
    {u"positiveInteger", XsdBuiltin::PositiveInteger},
    {u"unsignedLong", XsdBuiltin::UnsignedLong},
    {u"long", XsdBuiltin::Long},
    {u"int", XsdBuiltin::Int},
    {u"short", XsdBuiltin::Short},
    {u"byte", XsdBuiltin::Byte},
    {u"unsignedInt", XsdBuiltin::UnsignedInt},
    {u"unsignedShort", XsdBuiltin::UnsignedShort},
    {u"unsignedByte", XsdBuiltin::UnsignedByte},
    {u"double", XsdBuiltin::Double},
    {u"float", XsdBuiltin::Float},
    {u"duration", XsdBuiltin::Duration},
    {u"dateTime", XsdBuiltin::DateTime},
    {u"date", XsdBuiltin::Date},
    {u"time", XsdBuiltin::Time},
    {u"gYearMonth", XsdBuiltin::GYearMonth},
    {u"gYear", XsdBuiltin::GYear},
    {u"gMonthDay", XsdBuiltin::GMonthDay},
    {u"gDay", XsdBuiltin::GDay},
    {u"gMonth", XsdBuiltin::GMonth},
    {u"hexBinary", XsdBuiltin::HexBinary},
    {u"base64Binary", XsdBuiltin::Base64Binary},
};

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads a text from left to right.
class Cursor {
public:
  explicit Cursor(std::u16string_view text) : iText(text) {}
  bool atEnd() const { return iAt == iText.size(); }
  bool take(char16_t c) {
    if (atEnd() || iText[iAt] != c) return false;
    ++iAt;
    return true;
  }
  char16_t peek() const { return atEnd() ? u'\0' : iText[iAt]; }
  // The run of digits here, passed over.
  std::u16string_view digits() {
    const std::size_t start = iAt;
    while (!atEnd() && isDigit(iText[iAt])) ++iAt;
    return iText.substr(start, iAt - start);
  }
  // Exactly two digits as a number; -1 when there are not two.
  int twoDigits() {
    if (iText.size() - iAt < 2 || !isDigit(iText[iAt]) || !isDigit(iText[iAt + 1])) return -1;
    iAt += 2;
    return (iText[iAt - 2] - u'0') * 10 + (iText[iAt - 1] - u'0');
  }

private:
  std::u16string_view iText;
  std::size_t iAt = 0;
};

// The magnitudes an integer type's values reach below and above zero, as
// digits: empty for no bound, "0" when zero is the bound.
struct IntegerRange {
  std::u16string_view belowZero;
  std::u16string_view aboveZero;
  bool zero = true;
};

IntegerRange rangeOf(XsdBuiltin type) {
  switch (type) {
    case XsdBuiltin::NonPositiveInteger: return {u"", u"0"};
    case XsdBuiltin::NegativeInteger: return {u"", u"0", false};
    case XsdBuiltin::NonNegativeInteger: return {u"0", u""};
    case XsdBuiltin::PositiveInteger: return {u"0", u"", false};
    case XsdBuiltin::UnsignedLong: return {u"0", u"18446744073709551615"};
    case XsdBuiltin::Long: return {u"9223372036854775808", u"9223372036854775807"};
    case XsdBuiltin::Int: return {u"2147483648", u"2147483647"};
    case XsdBuiltin::Short: return {u"32768", u"32767"};
    case XsdBuiltin::Byte: return {u"128", u"127"};
    case XsdBuiltin::UnsignedInt: return {u"0", u"4294967295"};
    case XsdBuiltin::UnsignedShort: return {u"0", u"65535"};
    case XsdBuiltin::UnsignedByte: return {u"0", u"255"};
    default: return {u"", u""};
  }
}

bool isIntegerOf(XsdBuiltin type, std::u16string_view text) {
  Cursor cursor(text);
  const bool negative = cursor.take(u'-');
  if (!negative) cursor.take(u'+');
  std::u16string_view magnitude = cursor.digits();
  if (magnitude.empty() || !cursor.atEnd()) return false;
  magnitude.remove_prefix(std::min(magnitude.find_first_not_of(u'0'), magnitude.size()));
  const IntegerRange range = rangeOf(type);
  if (magnitude.empty()) return range.zero;
  const std::u16string_view bound = negative ? range.belowZero : range.aboveZero;
  if (bound.empty()) return true;
  return magnitude.size() < bound.size() || (magnitude.size() == bound.size() && magnitude <= bound);
}

// Digits with an optional fraction: "1", "1.", "1.5", ".5".
bool takeDecimalDigits(Cursor& cursor) {
  const bool whole = !cursor.digits().empty();
  if (!cursor.take(u'.')) return whole;
  return !cursor.digits().empty() || whole;
}

bool isDecimal(std::u16string_view text) {
  Cursor cursor(text);
  if (!cursor.take(u'-')) cursor.take(u'+');
  return takeDecimalDigits(cursor) && cursor.atEnd();
}

bool isDouble(std::u16string_view text) {
  if (text == u"INF" || text == u"-INF" || text == u"NaN") return true;
  Cursor cursor(text);
  if (!cursor.take(u'-')) cursor.take(u'+');
  if (!takeDecimalDigits(cursor)) return false;
  if (cursor.take(u'e') || cursor.take(u'E')) {
    if (!cursor.take(u'-')) cursor.take(u'+');
    if (cursor.digits().empty()) return false;
  }
  return cursor.atEnd();
}

// -?PnYnMnDTnHnMnS, the designators in this order, each at most once, at
// least one of them, a fraction on the seconds only.
bool isDuration(std::u16string_view text) {
  Cursor cursor(text);
  cursor.take(u'-');
  if (!cursor.take(u'P')) return false;
  constexpr std::u16string_view kDate = u"YMD", kTime = u"HMS";
  bool any = false;
  std::size_t next = 0;
  while (!cursor.atEnd() && cursor.peek() != u'T') {
    if (cursor.digits().empty()) return false;
    const std::size_t at = kDate.find(cursor.peek(), next);
    if (at == std::u16string_view::npos) return false;
    cursor.take(kDate[at]);
    next = at + 1;
    any = true;
  }
  if (cursor.take(u'T')) {
    bool anyTime = false;
    next = 0;
    while (!cursor.atEnd()) {
      // The seconds are a decimal, which may start with its point (".5S").
      if (cursor.digits().empty() && cursor.peek() != u'.') return false;
      if (cursor.take(u'.')) {
        if (next == kTime.size() || cursor.digits().empty() || !cursor.take(u'S')) return false;
        next = kTime.size();
      } else {
        const std::size_t at = kTime.find(cursor.peek(), next);
        if (at == std::u16string_view::npos) return false;
        cursor.take(kTime[at]);
        next = at + 1;
      }
      anyTime = true;
    }
    if (!anyTime) return false;
    any = true;
  }
  return any && cursor.atEnd();
}

// -?YYYY (more digits without a leading zero; not 0000). leap tells whether
// it is a leap year.
bool takeYear(Cursor& cursor, bool& leap) {
  cursor.take(u'-');
  const std::u16string_view year = cursor.digits();
  if (year.size() < 4 || (year.size() > 4 && year.front() == u'0')) return false;
  if (year.find_first_not_of(u'0') == std::u16string_view::npos) return false;
  // The last four digits tell the year modulo 400.
  int lastFour = 0;
  for (const char16_t digit : year.substr(year.size() - 4)) lastFour = lastFour * 10 + (digit - u'0');
  leap = lastFour % 4 == 0 && (lastFour % 100 != 0 || lastFour % 400 == 0);
  return true;
}

int takeMonth(Cursor& cursor) {
  const int month = cursor.twoDigits();
  return month >= 1 && month <= 12 ? month : -1;
}

bool takeDay(Cursor& cursor, int month, bool leap) {
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int day = cursor.twoDigits();
  const int last = month < 1 ? 31 : month == 2 && !leap ? 28 : kDays[month - 1];
  return day >= 1 && day <= last;
}

// hh:mm:ss(.s+)?, 24:00:00 the end of a day, second 60 a leap second (as
// XML Schema 1.0 allows it).
bool takeTime(Cursor& cursor) {
  const int hour = cursor.twoDigits();
  if (hour < 0 || !cursor.take(u':')) return false;
  const int minute = cursor.twoDigits();
  if (minute < 0 || minute > 59 || !cursor.take(u':')) return false;
  const int second = cursor.twoDigits();
  if (second < 0 || second > 60) return false;
  bool fractionZero = true;
  if (cursor.take(u'.')) {
    const std::u16string_view fraction = cursor.digits();
    if (fraction.empty()) return false;
    fractionZero = fraction.find_first_not_of(u'0') == std::u16string_view::npos;
  }
  return hour < 24 || (hour == 24 && minute == 0 && second == 0 && fractionZero);
}

// An optional zone, Z or +hh:mm up to 14:00, and the end.
bool takeZoneAndEnd(Cursor& cursor) {
  if (cursor.take(u'Z')) return cursor.atEnd();
  if (cursor.take(u'+') || cursor.take(u'-')) {
    const int hours = cursor.twoDigits();
    if (hours < 0 || !cursor.take(u':')) return false;
    const int minutes = cursor.twoDigits();
    if (minutes < 0 || minutes > 59 || hours > 14 || (hours == 14 && minutes > 0)) return false;
  }
  return cursor.atEnd();
}

bool isDateTimeOf(XsdBuiltin type, std::u16string_view text) {
  Cursor cursor(text);
  bool leap = true;
  int month = -1;
  switch (type) {
    case XsdBuiltin::DateTime:
    case XsdBuiltin::Date:
      if (!takeYear(cursor, leap) || !cursor.take(u'-') || (month = takeMonth(cursor)) < 0 || !cursor.take(u'-') ||
          !takeDay(cursor, month, leap))
        return false;
      if (type == XsdBuiltin::DateTime && (!cursor.take(u'T') || !takeTime(cursor))) return false;
      break;
    case XsdBuiltin::Time:
      if (!takeTime(cursor)) return false;
      break;
    case XsdBuiltin::GYearMonth:
      if (!takeYear(cursor, leap) || !cursor.take(u'-') || takeMonth(cursor) < 0) return false;
      break;
    case XsdBuiltin::GYear:
      if (!takeYear(cursor, leap)) return false;
      break;
    case XsdBuiltin::GMonthDay:
      if (!cursor.take(u'-') || !cursor.take(u'-') || (month = takeMonth(cursor)) < 0 || !cursor.take(u'-') ||
          !takeDay(cursor, month, true))
        return false;
      break;
    case XsdBuiltin::GDay:
      if (!cursor.take(u'-') || !cursor.take(u'-') || !cursor.take(u'-') || !takeDay(cursor, -1, true)) return false;
      break;
    case XsdBuiltin::GMonth:
      if (!cursor.take(u'-') || !cursor.take(u'-') || takeMonth(cursor) < 0) return false;
      // --MM--, as XML Schema 1.0 first published it, is still written.
      if (cursor.peek() == u'-' && text.size() >= 6 && text.substr(4, 2) == u"--") {
        cursor.take(u'-');
        cursor.take(u'-');
      }
      break;
    default:
      return false;
  }
  return takeZoneAndEnd(cursor);
}

bool isHexDigit(char16_t c) { return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

bool isBase64Digit(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || isDigit(c) || c == u'+' || c == u'/';
}

// Groups of four base64 digits, blanks between them allowed; padding only at
// the end, after a digit whose unused bits are zero.
bool isBase64(std::u16string_view text) {
  std::u16string digits;
  for (const char16_t c : text)
    if (c != u' ') digits.push_back(c);
  if (digits.size() % 4 != 0) return false;
  std::size_t padding = 0;
  while (padding < 2 && padding < digits.size() && digits[digits.size() - 1 - padding] == u'=') ++padding;
  const std::size_t end = digits.size() - padding;
  if (!std::all_of(digits.begin(), digits.begin() + static_cast<std::ptrdiff_t>(end), isBase64Digit)) return false;
  if (padding == 0) return true;
  const std::u16string_view lastDigits = padding == 2 ? u"AQgw" : u"AEIMQUYcgkosw048";
  return lastDigits.find(digits[end - 1]) != std::u16string_view::npos;
}

// [a-zA-Z]{1,8}(-[a-zA-Z0-9]{1,8})*
bool isLanguage(std::u16string_view text) {
  std::size_t partStart = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != u'-') {
      const char16_t c = text[i];
      const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
      if (!letter && (partStart == 0 || !isDigit(c))) return false;
      continue;
    }
    if (i == partStart || i - partStart > 8) return false;
    partStart = i + 1;
  }
  return true;
}

}  // namespace

XsdBuiltin xsdBuiltinNamed(std::u16string_view name) {
  for (const auto& [builtinName, type] : kBuiltinNames)
    if (builtinName == name) return type;
  return XsdBuiltin::None;
}

bool isFirstGMonthForm(std::u16string_view text) {
  return text.size() >= 6 && text.substr(0, 2) == u"--" && text[2] != u'-' && text.substr(4, 2) == u"--";
}

bool isXmlName(std::u16string_view name, bool withNamespaces) {
  // Xerces-C's XML 1.0 name check leaves out the characters beyond U+FFFF
  // that its scanner reads in names; its XML 1.1 check, which follows the
  // same rules otherwise, takes them.
  return withNamespaces ? xercesc::XMLChar1_1::isValidNCName(name.data(), name.size())
                        : xercesc::XMLChar1_1::isValidName(name.data(), name.size());
}

bool isXsdLexicalForm(XsdBuiltin type, std::u16string_view text) {
  using xercesc::XMLChar1_0;
  switch (type) {
    case XsdBuiltin::None:
    case XsdBuiltin::String:
    case XsdBuiltin::NormalizedString:
    case XsdBuiltin::Token:
    case XsdBuiltin::AnyUri:
    case XsdBuiltin::AnySimpleType:
      return true;
    case XsdBuiltin::Language: return isLanguage(text);
    case XsdBuiltin::Name: return XMLChar1_0::isValidName(text.data(), text.size());
    case XsdBuiltin::NCName:
    case XsdBuiltin::Id:
    case XsdBuiltin::IdRef:
    case XsdBuiltin::Entity:
      return XMLChar1_0::isValidNCName(text.data(), text.size());
    case XsdBuiltin::NMToken: return XMLChar1_0::isValidNmtoken(text.data(), text.size());
    case XsdBuiltin::QName:
    case XsdBuiltin::Notation:
      return XMLChar1_0::isValidQName(text.data(), text.size());
    case XsdBuiltin::Boolean: return text == u"true" || text == u"false" || text == u"1" || text == u"0";
    case XsdBuiltin::Decimal: return isDecimal(text);
    case XsdBuiltin::Double:
    case XsdBuiltin::Float:
      return isDouble(text);
    case XsdBuiltin::Duration: return isDuration(text);
    case XsdBuiltin::HexBinary: return text.size() % 2 == 0 && std::all_of(text.begin(), text.end(), isHexDigit);
    case XsdBuiltin::Base64Binary: return isBase64(text);
    case XsdBuiltin::DateTime:
    case XsdBuiltin::Date:
    case XsdBuiltin::Time:
    case XsdBuiltin::GYearMonth:
    case XsdBuiltin::GYear:
    case XsdBuiltin::GMonthDay:
    case XsdBuiltin::GDay:
    case XsdBuiltin::GMonth:
      return isDateTimeOf(type, text);
    default:
      return isIntegerOf(type, text);
  }
}
