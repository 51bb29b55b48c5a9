// Date-times (XML Schema forms and ICU patterns) and durations (the texts
// of each form read and refused: datacnv_texts_test.cpp).
#include "host/datacnv_test_support.h"
#include "host/test_support.h"

namespace {

constexpr std::int32_t kUnset = PWFDateTime::kUnset;

PWFDateTime readDateTime(const DataCnv& cnv, std::u16string_view text, const char16_t* format = u"I") {
  return cnv.StrToDateTime(text.data(), format, static_cast<long>(text.size())).getDateTimeValue();
}

std::u16string writeDateTime(const DataCnv& cnv, const PWFDateTime& value, const char16_t* format = u"I",
                             const char16_t* typeName = nullptr) {
  ZelWstring out;
  cnv.StrFromDateTime(value, format, typeName, out);
  return std::u16string(out.view());
}

TEST(DataCnvSchemaDateTime, KeepsOnlyTheFieldsWritten) {
  const DataCnv cnv = handlerDataCnv();
  EXPECT_EQ(readDateTime(cnv, u"--02-29"), dateTime(kUnset, 2, 29));
  EXPECT_EQ(readDateTime(cnv, u"2024-02-05:00"), dateTime(2024, 2, kUnset, kUnset, kUnset, kUnset, "", "-05:00"));
  EXPECT_EQ(readDateTime(cnv, u"-0044-03-15T12:00:00.500+01:00"), dateTime(-44, 3, 15, 12, 0, 0, "500", "+01:00"));
  EXPECT_EQ(readDateTime(cnv, u"10:00:00Z"), dateTime(kUnset, kUnset, kUnset, 10, 0, 0, "", "Z"));
  // gMonth as first published, still in use.
  EXPECT_EQ(readDateTime(cnv, u"--03--"), dateTime(kUnset, 3, kUnset));
  EXPECT_EQ(readDateTime(cnv, u"--05---05:00"), dateTime(kUnset, 5, kUnset, kUnset, kUnset, kUnset, "", "-05:00"));
  // The length bounds the text; -1 reads up to the terminator.
  EXPECT_EQ(cnv.StrToDateTime(u"2024-01-01T00:00:00Z", u"I", 10).getDateTimeValue(), dateTime(2024, 1, 1));
  EXPECT_EQ(cnv.StrToDateTime(u"--05", nullptr, -1).getDateTimeValue(), dateTime(kUnset, 5, kUnset));
}

TEST(DataCnvSchemaDateTime, WritesFieldsOfNoSingleForm) {
  const DataCnv cnv = handlerDataCnv();
  // Absent time fields beside present ones print as zero.
  EXPECT_EQ(writeDateTime(cnv, dateTime(kUnset, kUnset, kUnset, 12, 30)), u"12:30:00");
  EXPECT_EQ(writeDateTime(cnv, dateTime(2024, 2, 29, 12)), u"2024-02-29T12:00:00");
  // A value with more fields than its type keeps them; one with fields of no
  // form takes its type's form.
  EXPECT_EQ(writeDateTime(cnv, dateTime(2024, 2, 29, 1, 2, 3), u"I", u"date"), u"2024-02-29T01:02:03");
  EXPECT_EQ(writeDateTime(cnv, dateTime(2024, kUnset, 29), u"I", u"gYear"), u"2024");
  expectConversionError([&] { writeDateTime(cnv, dateTime(2024, kUnset, 29), u"I", u"date"); },
                        "date-time fields of an XML Schema form", u"2024 _ 29 _ _ _ . ");
  expectConversionError([&] { writeDateTime(cnv, dateTime(2024, 13, 1)); }, "date-time fields of an XML Schema form",
                        u"2024 13 1 _ _ _ . ");
  EXPECT_THROW(writeDateTime(cnv, dateTime(2024, 1, 1, 0, 0, 0, "5x")), ZelConversionException);
  EXPECT_THROW(writeDateTime(cnv, dateTime(2024, 1, 1, 0, 0, 0, "", "+1:00")), ZelConversionException);
}

TEST(DataCnvSchemaDateTime, CollapsingConverterIgnoresSurroundingWhitespace) {
  const DataCnv cnv(1200, 2, 1, 53, nullptr, true, nullptr, 0, true, 12, false, 0, nullptr);
  EXPECT_EQ(readDateTime(cnv, u"\n  2024-01-01 \t"), dateTime(2024, 1, 1));
}

TEST(DataCnvPatternDateTime, ReadsFieldsOfThePatternAndWritesThemBack) {
  DataCnv cnv = handlerDataCnv();
  struct Case {
    const char16_t* pattern;
    std::u16string_view text;
    PWFDateTime value;
  };
  const Case cases[] = {
      {u"yyyy-MM-dd HH:mm:ss", u"2024-02-29 13:45:10", dateTime(2024, 2, 29, 13, 45, 10)},
      {u"dd/MM/yyyy", u"29/02/2024", dateTime(2024, 2, 29)},
      {u"yyyy-MM-dd'T'HH:mm:ss.SSSXXX", u"2024-07-01T23:45:10.120+01:00",
       dateTime(2024, 7, 1, 23, 45, 10, "120", "+01:00")},
      {u"yyyyMMddHHmmssZ", u"20240101000000-0530", dateTime(2024, 1, 1, 0, 0, 0, "", "-05:30")},
      {u"MM-dd", u"02-29", dateTime(kUnset, 2, 29)},
      {u"HH:mm", u"07:05", dateTime(kUnset, kUnset, kUnset, 7, 5)},
      {u"d MMM yyyy 'at' h a", u"5 Jan 2024 at 3 PM", dateTime(2024, 1, 5, 15)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readDateTime(cnv, c.text, c.pattern), c.value) << utf8(c.text);
    EXPECT_EQ(writeDateTime(cnv, c.value, c.pattern), c.text);
  }
  // A pattern's value written in the XML Schema forms.
  EXPECT_EQ(writeDateTime(cnv, readDateTime(cnv, u"07:05", u"HH:mm")), u"07:05:00");
}

TEST(DataCnvPatternDateTime, FailuresNameTextAndPattern) {
  DataCnv cnv = handlerDataCnv();
  for (std::u16string_view text : {u"2024-02-29x", u"2024-xx-29", u""}) {
    const ZelConversionException e = raisedBy<ZelConversionException>([&] { readDateTime(cnv, text, u"yyyy-MM-dd"); });
    EXPECT_STREQ(e.getKey(), "CP_CONVERSION_ERROR");
    EXPECT_EQ(e.insertText(0), "date-time matching the pattern");
    EXPECT_EQ(e.insertText(1), utf8(text));
    EXPECT_EQ(e.insertText(2), "yyyy-MM-dd");
  }
  expectConversionError([&] { readDateTime(cnv, u"2024", u"yyyy jj"); }, "valid date-time pattern", u"2024");
}

TEST(DataCnvPatternDateTime, SettingsApplyAndReplaceCachedFormatters) {
  DataCnv cnv = handlerDataCnv();
  EXPECT_EQ(readDateTime(cnv, u"2023-02-30", u"yyyy-MM-dd"), dateTime(2023, 3, 2));  // lenient by default
  cnv.setDateTimeProperties(53, ZelWstring(u"GMT+03:00"), ZelWstring(u"Monday"), 4, false, false);
  expectConversionError([&] { readDateTime(cnv, u"2023-02-30", u"yyyy-MM-dd"); }, "date-time matching the pattern",
                        u"2023-02-30");
  EXPECT_EQ(readDateTime(cnv, u"01/01/52", u"dd/MM/yy").year, 2052);
  EXPECT_EQ(readDateTime(cnv, u"01/01/53", u"dd/MM/yy").year, 1953);
  // A value without zone prints a zone field in the default zone.
  EXPECT_EQ(writeDateTime(cnv, dateTime(2024, 1, 1, 0, 0), u"yyyy-MM-dd HH:mm XXX"), u"2024-01-01 00:00 +03:00");
  // ISO weeks (Monday first, four days in the first week): 2021-01-03 is in week 53.
  EXPECT_EQ(writeDateTime(cnv, dateTime(2021, 1, 3), u"w"), u"53");
}

// A value a pattern cannot carry is refused, not changed: a year the lenient
// calendar would wrap around (it read 12.03.2024999... as 18 Nov 3066557 BC),
// and a year before 1 where the pattern has a year of its era but no era.
TEST(DataCnvPatternDateTime, RefusesWhatItWouldChange) {
  const DataCnv cnv = handlerDataCnv();
  for (std::u16string_view text : {u"12.03.99999999", u"12.03.2024999999999999999999999", u"99999999.03.2024"})
    expectConversionError([&] { readDateTime(cnv, text, u"dd.MM.yyyy"); }, "date-time matching the pattern", text);
  EXPECT_EQ(readDateTime(cnv, u"12.03.20249", u"dd.MM.yyyy"), dateTime(20249, 3, 12));
  expectConversionError([&] { writeDateTime(cnv, dateTime(-43, 3, 15), u"dd.MM.yyyy"); },
                        "date-time matching the pattern", u"-43 3 15 _ _ _ . ");
  EXPECT_EQ(writeDateTime(cnv, dateTime(-43, 3, 15), u"dd.MM.yyyy G"), u"15.03.0044 BC");
  EXPECT_EQ(readDateTime(cnv, u"15.03.0044 BC", u"dd.MM.yyyy G"), dateTime(-43, 3, 15));
}

TEST(DataCnvPatternDateTime, DefaultFormatServesNullAndEmptyFormats) {
  const DataCnv cnv(1200, 2, 1, 53, u"dd.MM.yyyy", false, nullptr, 0, true, 12, false, 0, nullptr);
  EXPECT_EQ(readDateTime(cnv, u"31.12.2024", nullptr), dateTime(2024, 12, 31));
  EXPECT_EQ(writeDateTime(cnv, dateTime(2024, 12, 31), u""), u"31.12.2024");
  EXPECT_EQ(writeDateTime(cnv, dateTime(2024, 12, 31), u"I"), u"2024-12-31");
}

TEST(DataCnvDuration, KeepsComponentsAsWritten) {
  const DataCnv cnv = handlerDataCnv();
  PWFInterval full;
  full.years = 1, full.months = 2, full.days = 3, full.hours = 4, full.minutes = 5, full.seconds = 6;
  full.fraction = "789";
  EXPECT_EQ(cnv.StrToInterval(u"P1Y2M3DT4H5M6.789S", 18).getIntervalValue(), full);
  PWFInterval days;
  days.negative = true;
  days.days = 10;
  EXPECT_EQ(cnv.StrToInterval(u"-P10D", 5).getIntervalValue(), days);
}

TEST(DataCnvDuration, WritesValuesBuiltElsewhere) {
  const DataCnv cnv = handlerDataCnv();
  ZelWstring out;
  EXPECT_EQ(cnv.StrFromInterval(PWFInterval(), out).view(), u"PT0S");
  PWFInterval fractionOnly;
  fractionOnly.fraction = "5";
  EXPECT_EQ(cnv.StrFromInterval(fractionOnly, out).view(), u"PT0.5S");
  PWFInterval negative;
  negative.days = -1;
  expectConversionError([&] { cnv.StrFromInterval(negative, out); }, "duration components of zero or more",
                        u"_ _ -1 _ _ _ . ");
}

}  // namespace
