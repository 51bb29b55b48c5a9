// DataCnv's life cycle and settings, and date-times with ICU date patterns.
#include "datacnv.h"

#include "zelexception.h"

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <string>
#include <unordered_map>
#include <utility>

namespace {

constexpr const char* kExpectPatternDateTime = "date-time matching the pattern";
constexpr const char* kExpectPattern = "valid date-time pattern";

// The PWFDateTime fields a date pattern fills, from its letters (text in
// quotes is literal).
struct PatternFields {
  bool year = false;
  bool eraYear = false;     // a year of its era ('y', 'Y'): 44 BC prints as 0044
  bool era = false;         // 'G'
  bool signedYear = false;  // 'u', 'r': 44 BC prints as -0043
  bool month = false;
  bool day = false;
  bool hour = false;
  bool minute = false;
  bool second = false;
  bool zone = false;
  int fractionDigits = 0;
};

PatternFields fieldsOf(std::u16string_view pattern) {
  PatternFields fields;
  bool quoted = false;
  for (const char16_t c : pattern) {
    if (c == u'\'') quoted = !quoted;
    if (quoted) continue;
    switch (c) {
      case u'y':
      case u'Y': fields.year = fields.eraYear = true; break;
      case u'u':
      case u'r': fields.year = fields.signedYear = true; break;
      case u'G': fields.era = true; break;
      case u'M':
      case u'L': fields.month = true; break;
      case u'd': fields.day = true; break;
      case u'D':  // day of the year
      case u'w': fields.month = fields.day = true; break;  // week of the year: its first day
      case u'H':
      case u'h':
      case u'k':
      case u'K': fields.hour = true; break;
      case u'm': fields.minute = true; break;
      case u's': fields.second = true; break;
      case u'S': ++fields.fractionDigits; break;
      case u'z':
      case u'Z':
      case u'O':
      case u'v':
      case u'V':
      case u'X':
      case u'x': fields.zone = true; break;
      default: break;
    }
  }
  return fields;
}

// "Z" for a zero offset, else "+hh:mm" or "-hh:mm" (seconds dropped).
std::string zoneText(std::int32_t offsetMillis) {
  if (offsetMillis == 0) return "Z";
  const std::int32_t minutes = (offsetMillis < 0 ? -offsetMillis : offsetMillis) / 60000;
  char text[16];
  std::snprintf(text, sizeof text, "%c%02d:%02d", offsetMillis < 0 ? '-' : '+', minutes / 60 % 100, minutes % 60);
  return text;
}

// The fraction of a second with the pattern's number of digits.
std::string fractionText(std::int32_t millis, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%03d", millis % 1000);
  std::string fraction(text, digits < 3 ? digits : 3);
  if (digits > 3) fraction.append(static_cast<std::size_t>(digits - 3), '0');
  return fraction;
}

// Whether the fields a parse set are small enough for ICU's calendar to
// compute a date from them: a lenient calendar carries any overflow into the
// year, and beyond about 5.8 million years it wraps around, so that
// "12.03.99999999" would read as a date of 5,830,819 BC. The zone fields
// (milliseconds) are left out.
class ParsedFields : public icu::Calendar {
public:
  static bool computable(const icu::Calendar& calendar) {
    static constexpr UCalendarDateFields kDateTimeFields[] = {
        UCAL_YEAR, UCAL_EXTENDED_YEAR, UCAL_YEAR_WOY, UCAL_MONTH, UCAL_WEEK_OF_YEAR, UCAL_WEEK_OF_MONTH, UCAL_DATE,
        UCAL_DAY_OF_YEAR, UCAL_DAY_OF_WEEK_IN_MONTH, UCAL_HOUR, UCAL_HOUR_OF_DAY, UCAL_MINUTE, UCAL_SECOND,
        UCAL_MILLISECOND};
    constexpr std::int32_t kLimit = 5'000'000;
    // A protected member of every calendar, reached through this class.
    const auto rawValue = static_cast<std::int32_t (icu::Calendar::*)(UCalendarDateFields) const>(
        &ParsedFields::internalGet);
    for (const UCalendarDateFields field : kDateTimeFields) {
      if (!calendar.isSet(field)) continue;
      const std::int32_t value = (calendar.*rawValue)(field);
      if (value > kLimit || value < -kLimit) return false;
    }
    return true;
  }
};

std::int32_t millisOf(const std::string& fraction) {
  std::int32_t millis = 0;
  for (std::size_t i = 0; i < 3; ++i) millis = millis * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  return millis;
}

long dayOfWeekNumber(const ZelWstring& name) {
  static constexpr const char* kDays[] = {"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"};
  std::string lower = name.toUtf8();
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  for (long i = 0; i < 7; ++i)
    if (lower == kDays[i]) return i + 1;
  if (lower.size() == 1 && lower[0] >= '1' && lower[0] <= '7') return lower[0] - '0';
  return 0;
}

}  // namespace

// ICU formatters by pattern, each with a calendar of its own that
// remembers which zone it is set to.
class DateTimePatternCache {
public:
  enum class Status { Ok, BadPattern, NoMatch };

  explicit DateTimePatternCache(const DataCnv::DateTimeSettings& settings) : settings_(settings) {}

  Status parse(std::u16string_view text, const char16_t* pattern, PWFDateTime& value) {
    Entry* entry = find(pattern);
    if (!entry) return Status::BadPattern;
    const PatternFields& fields = entry->fields;
    icu::Calendar& calendar = *entry->calendar;
    // Fields are read in UTC, so they stay as written; a zone in the text
    // replaces the calendar's zone.
    useZone(*entry, kUtcKey);
    calendar.clear();
    // A leap year lets "MM-dd" read 02-29 when the pattern has no year.
    if (!fields.year) calendar.set(UCAL_YEAR, kDefaultYear);
    const icu::UnicodeString unicodeText(false, text.data(), static_cast<std::int32_t>(text.size()));
    icu::ParsePosition position(0);
    entry->format->parse(unicodeText, calendar, position);
    if (fields.zone) entry->zoneKey = kUnknownKey;
    if (position.getErrorIndex() >= 0 || position.getIndex() != unicodeText.length()) return Status::NoMatch;
    if (!ParsedFields::computable(calendar)) return Status::NoMatch;

    UErrorCode status = U_ZERO_ERROR;
    auto field = [&](bool present, UCalendarDateFields which, std::int32_t offset = 0) {
      return present ? calendar.get(which, status) + offset : PWFDateTime::kUnset;
    };
    value.year = field(fields.year, UCAL_EXTENDED_YEAR);
    value.month = field(fields.month, UCAL_MONTH, 1);
    value.day = field(fields.day, UCAL_DATE);
    value.hour = field(fields.hour, UCAL_HOUR_OF_DAY);
    value.minute = field(fields.minute, UCAL_MINUTE);
    value.second = field(fields.second, UCAL_SECOND);
    if (fields.fractionDigits > 0)
      value.fraction = fractionText(calendar.get(UCAL_MILLISECOND, status), fields.fractionDigits);
    if (fields.zone)
      value.zone = zoneText(calendar.get(UCAL_ZONE_OFFSET, status) + calendar.get(UCAL_DST_OFFSET, status));
    // A strict calendar refuses fields out of range (Feb 30) here.
    return U_SUCCESS(status) ? Status::Ok : Status::NoMatch;
  }

  Status format(const PWFDateTime& value, const char16_t* pattern, ZelWstring& out) {
    Entry* entry = find(pattern);
    if (!entry) return Status::BadPattern;
    // A year before 1 in a year of its era without the era would print as
    // another year (-43 as 0044): refused rather than changed.
    const PatternFields& fields = entry->fields;
    if (value.year != PWFDateTime::kUnset && value.year < 1 && fields.eraYear && !fields.era && !fields.signedYear)
      return Status::NoMatch;
    icu::Calendar& calendar = *entry->calendar;
    // Without a zone of its own a value prints a zone field in the default
    // zone; a pattern without zone fields prints the fields as they are.
    useZone(*entry, !value.zone.empty() ? value.zone : entry->fields.zone ? kDefaultKey : kUtcKey);
    calendar.clear();
    auto orDefault = [](std::int32_t field, std::int32_t fallback) {
      return field == PWFDateTime::kUnset ? fallback : field;
    };
    calendar.set(UCAL_EXTENDED_YEAR, orDefault(value.year, kDefaultYear));
    calendar.set(UCAL_MONTH, orDefault(value.month, 1) - 1);
    calendar.set(UCAL_DATE, orDefault(value.day, 1));
    calendar.set(UCAL_HOUR_OF_DAY, orDefault(value.hour, 0));
    calendar.set(UCAL_MINUTE, orDefault(value.minute, 0));
    calendar.set(UCAL_SECOND, orDefault(value.second, 0));
    calendar.set(UCAL_MILLISECOND, millisOf(value.fraction));
    UErrorCode status = U_ZERO_ERROR;
    calendar.getTime(status);  // a strict calendar refuses fields out of range
    if (U_FAILURE(status)) return Status::NoMatch;
    icu::UnicodeString text;
    entry->format->format(calendar, text, nullptr, status);
    if (U_FAILURE(status)) return Status::NoMatch;
    out.assign(text.getBuffer(), static_cast<std::size_t>(text.length()));
    return Status::Ok;
  }

private:
  // The year printed for a value without one: a leap year, so that 02-29
  // prints as it was read.
  static constexpr std::int32_t kDefaultYear = 2000;
  // Keys of Entry::zoneKey besides a value's own zone text.
  static constexpr const char* kUtcKey = "";
  static constexpr const char* kDefaultKey = "default";
  static constexpr const char* kUnknownKey = "?";
  // Patterns come from a dictionary's formats; past this many the cache
  // starts afresh rather than grow without bound.
  static constexpr std::size_t kMaxEntries = 64;

  struct Entry {
    std::unique_ptr<icu::SimpleDateFormat> format;
    std::unique_ptr<icu::Calendar> calendar;
    PatternFields fields;
    std::string zoneKey = kUnknownKey;
  };

  Entry* find(const char16_t* pattern) {
    const ZelWstring key(pattern);
    const auto found = entries_.find(key);
    if (found != entries_.end()) return &found->second;
    UErrorCode status = U_ZERO_ERROR;
    auto format =
        std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString(pattern), icu::Locale("en_US_POSIX"), status);
    if (U_FAILURE(status)) return nullptr;
    // The constructor takes any pattern; an unknown letter shows in formatting.
    icu::UnicodeString sample;
    format->format(0.0, sample, nullptr, status);
    if (U_FAILURE(status)) return nullptr;
    format->setLenient(settings_.allowLenient);
    if (settings_.centuryWindow >= 0 && settings_.centuryWindow <= 99) {
      std::unique_ptr<icu::Calendar> start(format->getCalendar()->clone());
      start->setTimeZone(*icu::TimeZone::getGMT());
      start->clear();
      start->set(1900 + static_cast<std::int32_t>(settings_.centuryWindow), UCAL_JANUARY, 1);
      format->set2DigitYearStart(start->getTime(status), status);
    }
    Entry entry;
    entry.calendar.reset(format->getCalendar()->clone());
    if (settings_.firstDayOfWeek >= 1 && settings_.firstDayOfWeek <= 7)
      entry.calendar->setFirstDayOfWeek(static_cast<UCalendarDaysOfWeek>(settings_.firstDayOfWeek));
    if (settings_.firstWeekOfYear >= 1 && settings_.firstWeekOfYear <= 7)
      entry.calendar->setMinimalDaysInFirstWeek(static_cast<std::uint8_t>(settings_.firstWeekOfYear));
    if (U_FAILURE(status)) return nullptr;
    entry.format = std::move(format);
    entry.fields = fieldsOf(pattern);
    if (entries_.size() >= kMaxEntries) entries_.clear();
    return &entries_.emplace(key, std::move(entry)).first->second;
  }

  void useZone(Entry& entry, const std::string& key) {
    if (entry.zoneKey == key) return;
    icu::TimeZone* zone = nullptr;
    if (key == kDefaultKey && !settings_.defaultTimeZone.empty()) {
      zone = icu::TimeZone::createTimeZone(icu::UnicodeString(settings_.defaultTimeZone.c_str()));
    } else if (key.size() == 6) {  // "+hh:mm"
      zone = icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8("GMT" + key));
    } else {
      zone = icu::TimeZone::getGMT()->clone();
    }
    entry.calendar->adoptTimeZone(zone);
    entry.zoneKey = key;
  }

  DataCnv::DateTimeSettings settings_;
  std::unordered_map<ZelWstring, Entry, ZelWstringHash> entries_;
};

DataCnv::DataCnv(long codepage, long endian, long floatFormat, long floatPrecisionBits,
                 const char16_t* defaultDateTimeFormat, bool collapseWhitespace, const char16_t* defaultTimeZone,
                 long firstDayOfWeek, bool allowLenient, long centuryWindow, bool preserveUTCFormat,
                 long firstWeekOfYear, const ZelNamedLogSource* logSource)
    : log_(logSource), collapseWhitespace_(collapseWhitespace) {
  checkConstruction(codepage, floatFormat, floatPrecisionBits);
  dateTime_.defaultFormat = defaultDateTimeFormat;
  dateTime_.defaultTimeZone = defaultTimeZone;
  dateTime_.centuryWindow = centuryWindow;
  dateTime_.firstDayOfWeek = firstDayOfWeek;
  dateTime_.firstWeekOfYear = firstWeekOfYear;
  dateTime_.allowLenient = allowLenient;
  dateTime_.preserveUTCFormat = preserveUTCFormat;
}

DataCnv::~DataCnv() = default;
DataCnv::DataCnv(DataCnv&&) noexcept = default;
DataCnv& DataCnv::operator=(DataCnv&&) noexcept = default;

void DataCnv::setDateTimeProperties(long centuryWindow, const ZelWstring& defaultTimeZone,
                                    const ZelWstring& firstDayOfWeek, long firstWeekOfYear, bool allowLenient,
                                    bool preserveUTCFormat) {
  dateTime_.centuryWindow = centuryWindow;
  dateTime_.defaultTimeZone = defaultTimeZone;
  dateTime_.firstDayOfWeek = dayOfWeekNumber(firstDayOfWeek);
  dateTime_.firstWeekOfYear = firstWeekOfYear;
  dateTime_.allowLenient = allowLenient;
  dateTime_.preserveUTCFormat = preserveUTCFormat;
  patterns_.reset();
}

void DataCnv::setDefaultDateTimeFormat(const ZelWstring& format) { dateTime_.defaultFormat = format; }

const char16_t* DataCnv::effectiveFormat(const char16_t* format) const {
  if (format && *format) return format;
  return dateTime_.defaultFormat.empty() ? XML_SCHEMA_FORMAT : dateTime_.defaultFormat.c_str();
}

DateTimePatternCache& DataCnv::patterns() const {
  if (!patterns_) patterns_ = std::make_unique<DateTimePatternCache>(dateTime_);
  return *patterns_;
}

PWFData DataCnv::StrToDateTime(const char16_t* text, const char16_t* format, long length) const {
  PWFData value;
  StrToDateTime(text, format, length, value);
  return value;
}

void DataCnv::StrToDateTime(const char16_t* text, const char16_t* format, long length, PWFData& value) const {
  const std::size_t units =
      length >= 0 ? static_cast<std::size_t>(length) : (text ? std::char_traits<char16_t>::length(text) : 0);
  const std::u16string_view view = valueText(text, units);
  const char16_t* pattern = effectiveFormat(format);
  if (std::u16string_view(pattern) == XML_SCHEMA_FORMAT) return readSchemaDateTime(view, value);
  PWFDateTime parsed;
  switch (patterns().parse(view, pattern, parsed)) {
    case DateTimePatternCache::Status::Ok:
      value.assignDateTime(std::move(parsed));
      return;
    case DateTimePatternCache::Status::BadPattern:
      throwConversionError(__FILE__, __LINE__, "DataCnv::StrToDateTime", kExpectPattern, view, pattern);
    case DateTimePatternCache::Status::NoMatch: break;
  }
  throwConversionError(__FILE__, __LINE__, "DataCnv::StrToDateTime", kExpectPatternDateTime, view, pattern);
}

ZelWstring& DataCnv::StrFromDateTime(const PWFDateTime& value, const char16_t* format, const char16_t* typeName,
                                     ZelWstring& out) const {
  const char16_t* pattern = effectiveFormat(format);
  if (pattern[0] == XML_SCHEMA_FORMAT[0] && pattern[1] == 0) {
    writeSchemaDateTime(value, typeName, out);
    return out;
  }
  switch (patterns().format(value, pattern, out)) {
    case DateTimePatternCache::Status::Ok: return out;
    case DateTimePatternCache::Status::BadPattern:
      throwConversionError(__FILE__, __LINE__, "DataCnv::StrFromDateTime", kExpectPattern,
                           describeDateTime(value).view(), pattern);
    case DateTimePatternCache::Status::NoMatch: break;
  }
  throwConversionError(__FILE__, __LINE__, "DataCnv::StrFromDateTime", kExpectPatternDateTime,
                       describeDateTime(value).view(), pattern);
}
