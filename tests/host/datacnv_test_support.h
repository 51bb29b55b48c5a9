#ifndef TESTS_HOST_DATACNV_TEST_SUPPORT_H
#define TESTS_HOST_DATACNV_TEST_SUPPORT_H

#include "datacnv.h"
#include "zelexception.h"
#include "host/test_support.h"

#include <gtest/gtest.h>

#include <string>

// A converter built as the parse handler and the writer build theirs.
inline DataCnv handlerDataCnv() {
  return DataCnv(1200, 2, 1, 53, nullptr, false, nullptr, 0, true, 12, false, 0, nullptr);
}

// Integers and decimals as the handler reads them by default.
inline PWFData toInt64(const DataCnv& cnv, std::u16string_view text) {
  return cnv.StrToInt64(text.data(), text.size(), DataCnv::SIGN_LEADING, DataCnv::US_MINUS, DataCnv::US_PLUS, 0,
                        DataCnv::JUSTIFY_RIGHT, u'0', true);
}

inline PWFData toDecimal(const DataCnv& cnv, std::u16string_view text) {
  return cnv.StrToDec(text.data(), text.size(), false, 0, DataCnv::US_DECIMAL, DataCnv::SIGN_LEADING, DataCnv::US_MINUS,
                      DataCnv::US_PLUS, 0, DataCnv::JUSTIFY_RIGHT, u'0', true);
}

inline std::string utf8(std::u16string_view text) { return ZelWstring(text).toUtf8(); }

// Runs convert and checks that it throws the conversion error with the
// inserts expected and text.
template <class Convert>
void expectConversionError(Convert convert, const std::string& expected, std::u16string_view text) {
  SCOPED_TRACE("'" + utf8(text) + "'");
  const ZelConversionException e = raisedBy<ZelConversionException>(convert);
  EXPECT_STREQ(e.getKey(), "CP_CONVERSION_ERROR");
  EXPECT_EQ(e.insertText(0), expected);
  EXPECT_EQ(e.insertText(1), utf8(text));
}

#endif
