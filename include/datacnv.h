#ifndef DATACNV_H
#define DATACNV_H

#include "pwfdata.h"
#include "zelapi.h"
#include "zellog.h"
#include "zelwstring.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

class ZelNamedLogSource;
class DateTimePatternCache;

// The host's value conversion service: text of the wire format to typed
// values (StrTo...) and typed values back to text (StrFrom...).
//
// Text to value: every StrTo... reads UTF-16 text and returns a PWFData of
// its logical type. A text that is not a valid spelling throws
// ZelConversionException with ZelMessages::CP_CONVERSION_ERROR and the
// inserts: [0] what was expected (e.g. "64-bit integer"), [1] the text, and
// for date-time patterns [2] the pattern. Nothing else is thrown except
// std::bad_alloc.
//
// Value to text: every StrFrom... replaces the text of `out` and returns it,
// so a caller can reuse one scratch string (a ZelBufferedWstring) for all
// values without allocating. A value that has no valid spelling (a month of
// 13 in a date-time built by hand) throws ZelConversionException like above,
// with the value's nearest text as insert [1].
//
// Date-times and durations keep what their text says (see PWFDateTime and
// PWFInterval): writing a value read with the same format gives back the
// text it was read from, for every canonical spelling.
//
// One DataCnv serves one thread (a parse handler or a writer). Building one
// is cheap: ICU date formatters are built on first use of a pattern and kept
// until the date-time settings change.
class ZEL_API DataCnv {
public:
  // Default sign and decimal-point characters of the numeric conversions.
  static constexpr char16_t US_MINUS = u'-';
  static constexpr char16_t US_PLUS = u'+';
  static constexpr char16_t US_DECIMAL = u'.';

  // Sign modes of the numeric conversions; any other value acts as
  // SIGN_LEADING.
  static constexpr long SIGN_NONE = 0;           // digits only
  static constexpr long SIGN_LEADING_MINUS = 1;  // optional leading minus
  static constexpr long SIGN_TRAILING = 2;       // optional trailing minus or plus
  static constexpr long SIGN_LEADING = 3;        // optional leading minus or plus (XML Schema)

  // Justification of a numeric text in a padded field: the pad characters
  // sit on the other side. Only used when trimming (trim != 0).
  static constexpr long JUSTIFY_LEFT = 0;
  static constexpr long JUSTIFY_RIGHT = 1;

  // The date-time format that means the XML Schema lexical forms.
  static constexpr char16_t XML_SCHEMA_FORMAT[] = u"I";

  // codepage: the code page of the texts; only the UTF-16 code pages 1200,
  //   13488 and 17584 are accepted (texts are char16_t in machine order, so
  //   endian has no further effect).
  // floatFormat, floatPrecisionBits: the binary float representation; only
  //   1 (IEEE 754) with 53 bits (double) is accepted.
  // defaultDateTimeFormat: the format used when StrToDateTime or
  //   StrFromDateTime get a null or empty format; null or empty = "I".
  // collapseWhitespace: when true, StrToDbl, StrToBin, StrToInterval and
  //   StrToDateTime ignore XML whitespace around the value (the numeric
  //   conversions take this per call as their strict flag).
  // The remaining arguments are the date-time settings, as
  //   setDateTimeProperties describes them (firstDayOfWeek as a number).
  // Throws ZelFatalException CP_CODEPAGE_ERROR (insert: the code page) for a
  // code page that is not UTF-16 and CP_INTERNAL_ERROR for another float
  // representation.
  DataCnv(long codepage, long endian, long floatFormat, long floatPrecisionBits, const char16_t* defaultDateTimeFormat,
          bool collapseWhitespace, const char16_t* defaultTimeZone, long firstDayOfWeek, bool allowLenient,
          long centuryWindow, bool preserveUTCFormat, long firstWeekOfYear, const ZelNamedLogSource* logSource);
  ~DataCnv();
  DataCnv(DataCnv&&) noexcept;
  DataCnv& operator=(DataCnv&&) noexcept;
  DataCnv(const DataCnv&) = delete;
  DataCnv& operator=(const DataCnv&) = delete;

  // Date-time settings. These act on date patterns (formats other than
  // "I"), the default format included when it is a pattern:
  // centuryWindow: a two-digit year yy below the window is 20yy, else 19yy
  //   (0 to 99; other values leave ICU's default of 80 years back).
  // defaultTimeZone: an ICU zone id ("Europe/Paris", "GMT+01:00"); used to
  //   print a zone field for a value that has none. Empty = UTC.
  // firstDayOfWeek: "Sunday" to "Saturday" (English, any case) or a number
  //   1 (Sunday) to 7; empty or anything else = the locale's default.
  // firstWeekOfYear: the days of the year's first week that must fall in
  //   the new year (1 to 7); other values = the locale's default. These two
  //   decide which days a week number ("yyyy-ww") stands for.
  // allowLenient: pattern parsing accepts out-of-range fields (Feb 30 is
  //   read as Mar 2); false refuses them.
  // The XML Schema forms ("I") have four-digit years and no weeks, and are
  // always read strictly; a value without a zone keeps none. One setting
  // acts on them:
  // preserveUTCFormat: false reads a zone of zero offset written "+00:00" or
  //   "-00:00" as "Z", its canonical spelling; true keeps it as written.
  void setDateTimeProperties(long centuryWindow, const ZelWstring& defaultTimeZone, const ZelWstring& firstDayOfWeek,
                             long firstWeekOfYear, bool allowLenient, bool preserveUTCFormat);
  // The format StrToDateTime and StrFromDateTime use for a null or empty
  // format; empty = "I".
  void setDefaultDateTimeFormat(const ZelWstring& format);

  // --- Text to value ---

  // A decimal integer (XML Schema xs:long with SIGN_LEADING) as an Integer.
  // signMode: SIGN_...; minusChar and plusChar spell the signs.
  // trim != 0: pad characters on the padded side (see JUSTIFY_...) are
  //   removed first, keeping at least one character.
  // strict: false also ignores XML whitespace around the number.
  // Leading zeros are allowed; the value must fit 64 bits (32 for StrToInt32).
  PWFData StrToInt64(const char16_t* text, std::size_t length, long signMode, char16_t minusChar, char16_t plusChar,
                     long trim, long justification, char16_t padChar, bool strict) const;
  PWFData StrToInt32(const char16_t* text, std::size_t length, long signMode, char16_t minusChar, char16_t plusChar,
                     long trim, long justification, char16_t padChar, bool strict) const;
  // StrToInt64 into value (PWFData::assignInteger). A failure leaves value unchanged.
  void StrToInt64(const char16_t* text, std::size_t length, long signMode, char16_t minusChar, char16_t plusChar,
                  long trim, long justification, char16_t padChar, bool strict, PWFData& value) const;

  // An xs:double spelling (digits with optional point and exponent, INF,
  // +INF, -INF, NaN) as a Float. Magnitudes beyond the double range become
  // infinite, those below it zero.
  PWFData StrToDbl(const char16_t* text, std::size_t length) const;
  // The same into value (PWFData::assignFloat). A failure leaves value unchanged.
  void StrToDbl(const char16_t* text, std::size_t length, PWFData& value) const;

  // A decimal number of any length as a Decimal that keeps the text: sign,
  // leading and trailing zeros stay as written, only the sign and point
  // characters are spelled "-", "+" and ".".
  // impliedDecimal: the text has no point; the last impliedScale digits are
  //   the fraction (a point is inserted). Other arguments as StrToInt64.
  PWFData StrToDec(const char16_t* text, std::size_t length, bool impliedDecimal, long impliedScale,
                   char16_t decimalChar, long signMode, char16_t minusChar, char16_t plusChar, long trim,
                   long justification, char16_t padChar, bool strict) const;
  // The same into value, whose storage is reused (PWFData::assignDecimal):
  // no allocation once value has held as long a text. A failure leaves value unchanged.
  void StrToDec(const char16_t* text, std::size_t length, bool impliedDecimal, long impliedScale,
                char16_t decimalChar, long signMode, char16_t minusChar, char16_t plusChar, long trim,
                long justification, char16_t padChar, bool strict, PWFData& value) const;

  // Hexadecimal digits (either case, two per byte) as Binary. Empty = no bytes.
  PWFData StrToBin(const char16_t* text, std::size_t length) const;

  // An xs:duration ("-P1Y2M3DT4H5M6.789S") as an Interval keeping the
  // components as written; absent ones hold PWFInterval::kUnset.
  PWFData StrToInterval(const char16_t* text, std::size_t length) const;

  // A date-time as a DateTime. format "I" reads the XML Schema forms of
  // dateTime, date, time, gYear, gYearMonth, gMonth, gMonthDay and gDay with
  // optional fraction and zone, keeping the fields present, all fraction
  // digits and the zone as written. Any other format is an ICU date pattern
  // ("yyyy-MM-dd HH:mm"): the fields present are those the pattern has; a
  // zone field sets the zone ("Z" or "+hh:mm", from the parsed offset).
  // A null or empty format is the default date-time format.
  // length: units of text, or -1 when text is zero-terminated.
  PWFData StrToDateTime(const char16_t* text, const char16_t* format, long length) const;
  // The same into value (PWFData::assignDateTime). A failure leaves value unchanged.
  void StrToDateTime(const char16_t* text, const char16_t* format, long length, PWFData& value) const;

  // --- Value to text (each replaces out's text and returns out) ---

  ZelWstring& StrFromInt64(std::int64_t value, ZelWstring& out) const;
  // The shortest text that reads back as the same double, in xs:double
  // spelling: "0.1", "1E21", "-0", "INF", "-INF", "NaN".
  ZelWstring& StrFromDbl(double value, ZelWstring& out) const;
  // The decimal's text; throws when it is not a decimal number.
  ZelWstring& StrFromDec(const ZelWstring& decimal, ZelWstring& out) const;

  // The same texts without a string in between, for writers that put them
  // straight into their output: the integer and double texts are written to
  // text, which needs room for MAX_NUMBER_TEXT units, and their length
  // returned; the decimal's text is checked as above and returned as a view
  // of decimal. None of these texts holds a character that XML escapes.
  static constexpr std::size_t MAX_NUMBER_TEXT = 32;
  static std::size_t StrFromInt64(std::int64_t value, char16_t* text);
  static std::size_t StrFromDbl(double value, char16_t* text);
  // Whether StrFromDbl writes value as text, value being what text reads as.
  // Plain digits that are their own shortest spelling are known by their
  // shape, without writing the value.
  static bool isDoubleWrittenAs(double value, std::u16string_view text);
  std::u16string_view StrFromDec(const ZelWstring& decimal) const;
  // Upper-case hexadecimal, two digits per byte.
  ZelWstring& StrFromBin(const std::uint8_t* bytes, std::size_t length, ZelWstring& out) const;
  // xs:duration; a value without any component is "PT0S". Negative
  // components throw.
  ZelWstring& StrFromInterval(const PWFInterval& value, ZelWstring& out) const;
  // format "I" (or a null or empty format that defaults to it): the XML
  // Schema form whose fields the value has. When the fields match no form
  // exactly, typeName (an XML Schema type name such as "date"; may be null)
  // picks the form if the value has its fields; else absent time fields
  // print as 00 beside present ones. Other formats print through ICU with
  // the pattern (absent fields as 2000-01-01 00:00:00, a missing zone as
  // the default time zone).
  ZelWstring& StrFromDateTime(const PWFDateTime& value, const char16_t* format, const char16_t* typeName,
                              ZelWstring& out) const;

  // Settings of date-time patterns, as setDateTimeProperties sets them.
  struct DateTimeSettings {
    ZelWstring defaultFormat;    // empty = "I"
    ZelWstring defaultTimeZone;  // empty = UTC
    long centuryWindow = -1;
    long firstDayOfWeek = 0;   // 0 = locale default, 1 Sunday .. 7 Saturday
    long firstWeekOfYear = 0;  // 0 = locale default
    bool allowLenient = true;
    bool preserveUTCFormat = false;
  };

private:
  // Raises ZelConversionException CP_CONVERSION_ERROR with the inserts
  // expected and text (and pattern when not null), thrown from file:line
  // in function, under this converter's log source.
  [[noreturn]] void throwConversionError(const char* file, long line, const char* function, const char* expected,
                                         std::u16string_view text, const char16_t* pattern = nullptr) const;
  // Throws when the constructor's code page or float representation is not supported.
  void checkConstruction(long codepage, long floatFormat, long floatPrecisionBits) const;
  // The text to convert: XML whitespace around it removed when collapsing.
  std::u16string_view valueText(const char16_t* text, std::size_t length) const;
  // The format to use for a caller's format: null or empty = the default.
  const char16_t* effectiveFormat(const char16_t* format) const;
  DateTimePatternCache& patterns() const;
  // The XML Schema forms of date-times (format "I").
  void readSchemaDateTime(std::u16string_view text, PWFData& value) const;
  void writeSchemaDateTime(const PWFDateTime& value, const char16_t* typeName, ZelWstring& out) const;
  // The fields of a value as an error insert ("2024 2 30 _ _ _ . Z").
  static ZelWstring describeDateTime(const PWFDateTime& value);

  ZelOwnedLogSource log_;
  bool collapseWhitespace_;
  DateTimeSettings dateTime_;
  // Built on first use of a pattern; dropped when the settings change.
  mutable std::unique_ptr<DateTimePatternCache> patterns_;
};

#endif
