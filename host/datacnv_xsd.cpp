// The XML Schema spellings of date-times (format "I") and durations. They
// are read and written here rather than with Xerces-C's XMLDateTime, which
// normalises to UTC and drops the zone and the fraction as written.
#include "datacnv.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

namespace {

constexpr const char* kExpectDateTime = "XML Schema date or time";
constexpr const char* kExpectDuration = "duration";
constexpr const char* kExpectDateTimeFields = "date-time fields of an XML Schema form";
constexpr const char* kExpectDurationFields = "duration components of zero or more";

constexpr std::int32_t kUnset = PWFDateTime::kUnset;

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool allDigits(const std::string& text, char only = 0) {
  for (const char c : text)
    if (c < '0' || c > '9' || (only && c != only)) return false;
  return true;
}

// A read position in a text.
class Cursor {
public:
  explicit Cursor(std::u16string_view text) : text_(text) {}
  bool atEnd() const { return pos_ == text_.size(); }
  bool peek(char16_t c) const { return pos_ < text_.size() && text_[pos_] == c; }
  bool take(char16_t c) {
    if (!peek(c)) return false;
    ++pos_;
    return true;
  }
  // The run of digits at the position (possibly empty), consumed.
  std::u16string_view digits() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && isDigit(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }
  // Exactly two digits.
  bool twoDigits(std::int32_t& value) {
    if (pos_ + 2 > text_.size() || !isDigit(text_[pos_]) || !isDigit(text_[pos_ + 1])) return false;
    value = (text_[pos_] - u'0') * 10 + (text_[pos_ + 1] - u'0');
    pos_ += 2;
    return true;
  }

private:
  std::u16string_view text_;
  std::size_t pos_ = 0;
};

// One or more digits as a non-negative 32-bit number.
bool toInt32(std::u16string_view digits, std::int32_t& value) {
  if (digits.empty()) return false;
  std::int64_t v = 0;
  for (const char16_t c : digits) {
    v = v * 10 + (c - u'0');
    if (v > INT32_MAX) return false;
  }
  value = static_cast<std::int32_t>(v);
  return true;
}

std::string asciiOf(std::u16string_view digits) {
  std::string text(digits.size(), '0');
  for (std::size_t i = 0; i < digits.size(); ++i) text[i] = static_cast<char>(digits[i]);
  return text;
}

// The parts a date-time form is made of. Each of the eight forms has its
// own set, so the fields a value has name the form to write it in.
enum FieldMask : unsigned { kYear = 1, kMonth = 2, kDay = 4, kTime = 8 };

struct SchemaForm {
  unsigned mask;
  std::u16string_view typeName;
};

constexpr SchemaForm kForms[] = {
    {kYear | kMonth | kDay | kTime, u"dateTime"},
    {kYear | kMonth | kDay, u"date"},
    {kTime, u"time"},
    {kYear | kMonth, u"gYearMonth"},
    {kYear, u"gYear"},
    {kMonth | kDay, u"gMonthDay"},
    {kMonth, u"gMonth"},
    {kDay, u"gDay"},
};

bool isForm(unsigned mask) {
  for (const SchemaForm& form : kForms)
    if (form.mask == mask) return true;
  return false;
}

// The fields a value has; the time counts when any of its fields is set.
unsigned maskOf(const PWFDateTime& v) {
  unsigned mask = 0;
  if (v.year != kUnset) mask |= kYear;
  if (v.month != kUnset) mask |= kMonth;
  if (v.day != kUnset) mask |= kDay;
  if (v.hour != kUnset || v.minute != kUnset || v.second != kUnset) mask |= kTime;
  return mask;
}

bool isLeapYear(std::int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

std::int32_t daysInMonth(std::int32_t year, std::int32_t month) {
  static constexpr std::int32_t kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && year != kUnset && !isLeapYear(year)) return 28;
  return kDays[month - 1];
}

bool isValidZone(const std::string& zone) {
  if (zone.empty() || zone == "Z") return true;
  if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':') return false;
  if (!allDigits(zone.substr(1, 2)) || !allDigits(zone.substr(4, 2))) return false;
  const int hours = (zone[1] - '0') * 10 + (zone[2] - '0');
  const int minutes = (zone[4] - '0') * 10 + (zone[5] - '0');
  return minutes <= 59 && (hours < 14 || (hours == 14 && minutes == 0));
}

// Whether the fields of mask hold valid values (absent time fields count as
// zero) and the fraction and zone are well formed.
bool isValid(const PWFDateTime& v, unsigned mask) {
  if ((mask & kMonth) && (v.month < 1 || v.month > 12)) return false;
  if (mask & kDay) {
    const std::int32_t lastDay = (mask & kMonth) ? daysInMonth((mask & kYear) ? v.year : kUnset, v.month) : 31;
    if (v.day < 1 || v.day > lastDay) return false;
  }
  if (mask & kTime) {
    const std::int32_t hour = v.hour == kUnset ? 0 : v.hour;
    const std::int32_t minute = v.minute == kUnset ? 0 : v.minute;
    const std::int32_t second = v.second == kUnset ? 0 : v.second;
    if (!allDigits(v.fraction)) return false;
    // 24:00:00 is the end of the day; nothing may follow it.
    const bool endOfDay = hour == 24 && minute == 0 && second == 0 && allDigits(v.fraction, '0');
    if (!endOfDay && (hour < 0 || hour > 23)) return false;
    // Second 60 is a leap second, which XML Schema 1.0 allows.
    if (minute < 0 || minute > 59 || second < 0 || second > 60) return false;
  }
  return isValidZone(v.zone);
}

// A year: an optional minus, four or more digits, no leading zero beyond
// four digits, no minus on zero.
bool readYear(Cursor& cursor, std::int32_t& year) {
  const bool negative = cursor.take(u'-');
  const std::u16string_view digits = cursor.digits();
  if (digits.size() < 4 || (digits.size() > 4 && digits[0] == u'0') || !toInt32(digits, year)) return false;
  if (negative && year == 0) return false;
  if (negative) year = -year;
  return true;
}

// hh:mm:ss with an optional fraction of one or more digits.
bool readTime(Cursor& cursor, PWFDateTime& v) {
  if (!cursor.twoDigits(v.hour) || !cursor.take(u':') || !cursor.twoDigits(v.minute) || !cursor.take(u':') ||
      !cursor.twoDigits(v.second))
    return false;
  if (!cursor.take(u'.')) return true;
  const std::u16string_view fraction = cursor.digits();
  v.fraction = asciiOf(fraction);
  return !fraction.empty();
}

// Takes a zone ("Z" or "+hh:mm"/"-hh:mm") off the end of text. Every form
// ends in digits otherwise, and no zoneless form ends in [+-]dd:dd, so the
// zone is found without knowing the form.
std::u16string_view takeZone(std::u16string_view text, std::string& zone) {
  if (!text.empty() && text.back() == u'Z') {
    zone = "Z";
    return text.substr(0, text.size() - 1);
  }
  if (text.size() < 6) return text;
  const std::u16string_view tail = text.substr(text.size() - 6);
  if ((tail[0] != u'+' && tail[0] != u'-') || tail[3] != u':') return text;
  zone.assign(6, ' ');
  for (std::size_t i = 0; i < 6; ++i) zone[i] = static_cast<char>(tail[i] < 0x80 ? tail[i] : '?');
  return text.substr(0, text.size() - 6);
}

// Reads the fields of one form into v; returns the form's mask, 0 when the
// text is no form.
unsigned readForm(std::u16string_view body, PWFDateTime& v) {
  Cursor cursor(body);
  unsigned mask = 0;
  if (cursor.take(u'-') && cursor.take(u'-')) {
    if (cursor.take(u'-')) {
      mask = kDay;  // ---DD
      if (!cursor.twoDigits(v.day)) return 0;
    } else {
      mask = kMonth;  // --MM or --MM-DD
      if (!cursor.twoDigits(v.month)) return 0;
      if (cursor.take(u'-')) {
        // --MM--: gMonth as XML Schema 1.0 first published it, still in use.
        if (cursor.take(u'-')) return cursor.atEnd() ? mask : 0;
        mask |= kDay;
        if (!cursor.twoDigits(v.day)) return 0;
      }
    }
  } else if (body.size() > 2 && body[2] == u':') {
    cursor = Cursor(body);
    mask = kTime;
    if (!readTime(cursor, v)) return 0;
  } else {
    cursor = Cursor(body);
    mask = kYear;
    if (!readYear(cursor, v.year)) return 0;
    if (cursor.take(u'-')) {
      mask |= kMonth;
      if (!cursor.twoDigits(v.month)) return 0;
      if (cursor.take(u'-')) {
        mask |= kDay;
        if (!cursor.twoDigits(v.day)) return 0;
        if (cursor.take(u'T')) {
          mask |= kTime;
          if (!readTime(cursor, v)) return 0;
        }
      }
    }
  }
  return cursor.atEnd() ? mask : 0;
}

// Digits are gathered from the end of a local buffer and appended in one go.
void appendNumber(ZelWstring& out, std::int64_t value, int minDigits) {
  char16_t digits[24];
  int start = 24;
  for (std::uint64_t v = static_cast<std::uint64_t>(value); v != 0 || 24 - start < minDigits; v /= 10)
    digits[--start] = static_cast<char16_t>(u'0' + v % 10);
  out.append(digits + start, static_cast<std::size_t>(24 - start));
}

void appendAscii(ZelWstring& out, const std::string& text) {
  const std::size_t at = out.length();
  out.resize(at + text.size());
  for (std::size_t i = 0; i < text.size(); ++i) out[at + i] = static_cast<char16_t>(text[i]);
}

// Writes the text of a date-time into a buffer that has room for all of it
// (fieldsRoom() plus the fraction and the zone), two digits at a time.
class DateTimeText {
public:
  // A sign, ten year digits, "--", "-MM-DD", "T", "hh:mm:ss" and ".".
  static constexpr std::size_t fieldsRoom() { return 32; }

  explicit DateTimeText(char16_t* out) : begin_(out), p_(out) {}
  std::size_t length() const { return static_cast<std::size_t>(p_ - begin_); }

  void unit(char16_t c) { *p_++ = c; }
  void twoDigits(std::int32_t value) {
    p_[0] = static_cast<char16_t>(u'0' + value / 10);
    p_[1] = static_cast<char16_t>(u'0' + value % 10);
    p_ += 2;
  }
  // At least four digits, a minus before a negative year.
  void year(std::int32_t year) {
    if (year < 0) unit(u'-');
    std::uint32_t v = year < 0 ? 0u - static_cast<std::uint32_t>(year) : static_cast<std::uint32_t>(year);
    if (v < 10000) {
      twoDigits(static_cast<std::int32_t>(v / 100));
      twoDigits(static_cast<std::int32_t>(v % 100));
      return;
    }
    char16_t digits[10];
    int start = 10;
    for (; v != 0; v /= 10) digits[--start] = static_cast<char16_t>(u'0' + v % 10);
    for (int i = start; i < 10; ++i) unit(digits[i]);
  }
  // "hh:mm:ss" (absent fields as 00) and ".fraction".
  void time(const PWFDateTime& v) {
    twoDigits(v.hour == kUnset ? 0 : v.hour);
    unit(u':');
    twoDigits(v.minute == kUnset ? 0 : v.minute);
    unit(u':');
    twoDigits(v.second == kUnset ? 0 : v.second);
    if (!v.fraction.empty()) {
      unit(u'.');
      ascii(v.fraction);
    }
  }
  void ascii(const std::string& text) {
    for (const char c : text) unit(static_cast<char16_t>(c));
  }

private:
  char16_t* begin_;
  char16_t* p_;
};

// The text of a valid value in the form of mask.
void writeForm(const PWFDateTime& value, unsigned mask, DateTimeText& text) {
  if (mask & kYear)
    text.year(value.year);
  else if (mask & (kMonth | kDay))
    text.unit(u'-');
  if (mask & kMonth) {
    text.unit(u'-');
    text.twoDigits(value.month);
  } else if (mask & kDay) {
    text.unit(u'-');
  }
  if (mask & kDay) {
    text.unit(u'-');
    text.twoDigits(value.day);
  }
  if (mask & kTime) {
    if (mask & kYear) text.unit(u'T');
    text.time(value);
  }
  text.ascii(value.zone);
}

// Reads number-designator pairs ("1Y2D") up to the end or a "T", in the
// order of designators, each at most once, into the fields of the same
// index. With fraction, the last component (seconds) may have one.
// Returns how many were read, -1 when the text breaks these rules.
int readComponents(Cursor& cursor, std::u16string_view designators, std::int32_t* const* fields,
                   std::string* fraction) {
  int count = 0;
  std::size_t next = 0;
  while (!cursor.atEnd() && !cursor.peek(u'T')) {
    std::int32_t number = 0;
    // The seconds are a decimal, which may start with its point (".5S").
    const std::u16string_view whole = cursor.digits();
    if (!(whole.empty() && fraction && cursor.peek(u'.')) && !toInt32(whole, number)) return -1;
    if (fraction && cursor.take(u'.')) {
      const std::u16string_view digits = cursor.digits();
      if (digits.empty() || !cursor.peek(designators.back())) return -1;
      *fraction = asciiOf(digits);
    }
    while (next < designators.size() && !cursor.take(designators[next])) ++next;
    if (next == designators.size()) return -1;
    *fields[next++] = number;
    ++count;
  }
  return count;
}

// A readable rendering of a value's fields for an error insert: the numbers
// ("_" when absent), then the fraction and the zone.
ZelWstring describe(std::initializer_list<std::int32_t> fields, const std::string& fraction,
                    const std::string& zone = std::string()) {
  std::string text;
  for (const std::int32_t field : fields) text += (field == kUnset ? std::string("_") : std::to_string(field)) + " ";
  text += "." + fraction + " " + zone;
  return ZelWstring::fromUtf8(text);
}

}  // namespace

ZelWstring DataCnv::describeDateTime(const PWFDateTime& v) {
  return describe({v.year, v.month, v.day, v.hour, v.minute, v.second}, v.fraction, v.zone);
}

void DataCnv::readSchemaDateTime(std::u16string_view text, PWFData& value) const {
  PWFDateTime parsed;
  const std::u16string_view body = takeZone(text, parsed.zone);
  // "+00:00" and "-00:00" are UTC, whose canonical spelling is "Z".
  if (!dateTime_.preserveUTCFormat && parsed.zone.size() == 6 && parsed.zone.compare(1, 5, "00:00") == 0)
    parsed.zone = "Z";
  const unsigned mask = readForm(body, parsed);
  if (mask == 0 || !isValid(parsed, mask))
    throwConversionError(__FILE__, __LINE__, "DataCnv::StrToDateTime", kExpectDateTime, text);
  value.assignDateTime(std::move(parsed));
}

void DataCnv::writeSchemaDateTime(const PWFDateTime& value, const char16_t* typeName, ZelWstring& out) const {
  unsigned mask = maskOf(value);
  if (!isForm(mask)) {
    // Fields of no single form (a pattern read "yyyy HH"): the type's form
    // when the value has its fields.
    const std::u16string_view type = typeName ? std::u16string_view(typeName) : std::u16string_view();
    unsigned typeMask = 0;
    for (const SchemaForm& form : kForms)
      if (form.typeName == type) typeMask = form.mask;
    if (typeMask == 0 || (typeMask & mask) != typeMask)
      throwConversionError(__FILE__, __LINE__, "DataCnv::StrFromDateTime", kExpectDateTimeFields,
                           describeDateTime(value).view());
    mask = typeMask;
  }
  if (!isValid(value, mask))
    throwConversionError(__FILE__, __LINE__, "DataCnv::StrFromDateTime", kExpectDateTimeFields,
                         describeDateTime(value).view());

  // Values without a long fraction are written on the stack and copied once.
  constexpr std::size_t kStackRoom = 64;
  const std::size_t room = DateTimeText::fieldsRoom() + value.fraction.size() + value.zone.size();
  if (room <= kStackRoom) {
    char16_t buffer[kStackRoom];
    DateTimeText text(buffer);
    writeForm(value, mask, text);
    out.assign(buffer, text.length());
    return;
  }
  out.resize(room);
  DateTimeText text(&out[0]);
  writeForm(value, mask, text);
  out.resize(text.length());
}

PWFData DataCnv::StrToInterval(const char16_t* text, std::size_t length) const {
  const std::u16string_view view = valueText(text, length);
  PWFInterval value;
  std::int32_t* const dateFields[] = {&value.years, &value.months, &value.days};
  std::int32_t* const timeFields[] = {&value.hours, &value.minutes, &value.seconds};
  Cursor cursor(view);
  value.negative = cursor.take(u'-');
  const int dateCount = cursor.take(u'P') ? readComponents(cursor, u"YMD", dateFields, nullptr) : -1;
  int timeCount = 0;
  if (dateCount >= 0 && cursor.take(u'T')) {
    timeCount = readComponents(cursor, u"HMS", timeFields, &value.fraction);
    if (timeCount == 0) timeCount = -1;  // a "T" needs a time component after it
  }
  if (dateCount < 0 || timeCount < 0 || (dateCount == 0 && timeCount == 0) || !cursor.atEnd())
    throwConversionError(__FILE__, __LINE__, "DataCnv::StrToInterval", kExpectDuration, view);
  return PWFData::makeInterval(value);
}

ZelWstring& DataCnv::StrFromInterval(const PWFInterval& value, ZelWstring& out) const {
  const std::int32_t fields[] = {value.years, value.months, value.days, value.hours, value.minutes, value.seconds};
  bool valid = allDigits(value.fraction);
  for (const std::int32_t field : fields) valid = valid && (field == kUnset || field >= 0);
  if (!valid)
    throwConversionError(
        __FILE__, __LINE__, "DataCnv::StrFromInterval", kExpectDurationFields,
        describe({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]}, value.fraction).view());
  static constexpr char16_t kDesignators[] = u"YMDHMS";
  out.clear();
  if (value.negative) out.append(u'-');
  out.append(u'P');
  // The seconds carry the fraction; a fraction alone means zero seconds.
  const bool hasSeconds = value.seconds != kUnset || !value.fraction.empty();
  const bool hasTime = value.hours != kUnset || value.minutes != kUnset || hasSeconds;
  bool any = false;
  for (std::size_t i = 0; i < 5; ++i) {
    if (i == 3 && hasTime) out.append(u'T');
    if (fields[i] == kUnset) continue;
    appendNumber(out, fields[i], 1);
    out.append(kDesignators[i]);
    any = true;
  }
  if (hasSeconds) {
    appendNumber(out, value.seconds == kUnset ? 0 : value.seconds, 1);
    if (!value.fraction.empty()) {
      out.append(u'.');
      appendAscii(out, value.fraction);
    }
    out.append(u'S');
  } else if (!any) {
    out.append(u"T0S");
  }
  return out;
}
