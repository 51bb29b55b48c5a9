#include "zelwstring.h"
#include "paramname.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {
std::u16string longText(std::size_t n) {
  std::u16string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char16_t>(u'a' + i % 26);
  return s;
}

// Every operation must behave the same whether the text sits inline or on
// the heap, so each case runs at lengths on both sides of the inline size.
class BufferedWstringTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(BufferedWstringTest, CopyMoveAndAssignKeepTheText) {
  const std::u16string text = longText(GetParam());
  ZelBufferedWstring<8> original(text);
  EXPECT_EQ(original.view(), text);
  EXPECT_EQ(original.c_str()[text.size()], 0);

  ZelBufferedWstring<8> copy(original);
  EXPECT_EQ(copy.view(), text);
  EXPECT_NE(copy.c_str(), original.c_str());

  ZelBufferedWstring<8> moved(std::move(copy));
  EXPECT_EQ(moved.view(), text);
  EXPECT_TRUE(copy.empty());
  EXPECT_EQ(copy.c_str()[0], 0);
  copy.assign(u"reuse");  // a moved-from string stays usable
  EXPECT_EQ(copy.view(), u"reuse");

  ZelWstring plain(std::move(moved));
  EXPECT_EQ(plain.view(), text);
  ZelBufferedWstring<8> back;
  back = std::move(plain);
  EXPECT_EQ(back.view(), text);
  EXPECT_TRUE(plain.empty());
}

// Appending itself or a part of itself (possibly moving the buffer),
// assigning its own tail, erasing.
TEST_P(BufferedWstringTest, OwnTextAsSourceAndErase) {
  const std::u16string text = longText(GetParam());
  ZelBufferedWstring<8> s(text);
  s.append(s);
  EXPECT_EQ(s.view(), text + text);
  s.append(s.c_str() + 1, 2);
  const std::u16string doubled = text + text + (text + text).substr(1, 2);
  EXPECT_EQ(s.view(), doubled);
  s.assign(s.c_str() + 2, doubled.size() - 2);
  EXPECT_EQ(s.view(), doubled.substr(2));
  s.erase(1, 3);
  EXPECT_EQ(s.view(), doubled.substr(2).erase(1, 3));
  s.erase(100);  // beyond the end: nothing
  EXPECT_EQ(s.view(), doubled.substr(2).erase(1, 3));
}

INSTANTIATE_TEST_SUITE_P(InlineAndHeap, BufferedWstringTest, ::testing::Values(4, 8, 9, 40), ReadableName());

// Empty and null texts, embedded zeros, order by unsigned units (shorter
// first), substrings that copy and clamp, buffers copied when given.
TEST(ZelWstringTest, BasicOperations) {
  ZelWstring fromNull(static_cast<const char16_t*>(nullptr));
  ASSERT_NE(fromNull.c_str(), nullptr);
  EXPECT_EQ(fromNull.c_str()[0], 0);
  fromNull.append(static_cast<const char16_t*>(nullptr));
  EXPECT_TRUE(fromNull.empty());
  fromNull.resize(3, u'x');
  EXPECT_EQ(fromNull.view(), u"xxx");

  char16_t raw[] = {u'a', 0, u'b'};
  const ZelWstring zeros(raw, 3);
  raw[0] = u'x';
  EXPECT_EQ(zeros.view(), std::u16string_view(u"a\0b", 3));
  EXPECT_EQ(zeros.find(u'b'), 2u);
  EXPECT_EQ(zeros.rfind(0), 1u);

  EXPECT_LT(ZelWstring(u"ab"), ZelWstring(u"abc"));
  EXPECT_LT(ZelWstring(u"z"), ZelWstring(u"\u00e9"));
  EXPECT_LT(ZelWstring(u"\u00e9"), ZelWstring(u"\xd800"));
  EXPECT_EQ(ZelWstring(u"abc").compare(u"abc"), 0);

  const ZelWstring s(u"message");
  EXPECT_EQ(s.substr(3).view(), u"sage");
  EXPECT_NE(s.substr(3).c_str(), s.c_str() + 3);
  EXPECT_EQ(s.substr(3, 100).view(), u"sage");
  EXPECT_TRUE(s.substr(7).empty());
  EXPECT_EQ(s.view(), u"message") << "substr must leave its source alone";
}

// tests/data/utf8.txt: byte sequences and the units they read as.
class Utf8ConversionTest : public ::testing::TestWithParam<DataCase> {};

std::vector<unsigned> hexNumbers(const std::string& text) {
  std::vector<unsigned> numbers;
  std::istringstream in(text);
  for (unsigned number; in >> std::hex >> number;) numbers.push_back(number);
  return numbers;
}

TEST_P(Utf8ConversionTest, ReadsUtf8) {
  const std::vector<unsigned> bytes = hexNumbers(GetParam()["bytes"]), units = hexNumbers(GetParam()["units"]);
  EXPECT_EQ(ZelWstring::fromUtf8(std::string(bytes.begin(), bytes.end())).view(),
            std::u16string(units.begin(), units.end()));
}

INSTANTIATE_TEST_SUITE_P(Sequences, Utf8ConversionTest, ::testing::ValuesIn(dataCases("utf8.txt")), ReadableName());

TEST(ZelWstringTest, WritesUtf8AndReplacesLoneSurrogates) {
  EXPECT_EQ(ZelWstring(u"caf\u00e9 \U0001F600").toUtf8(), "caf\xc3\xa9 \xf0\x9f\x98\x80");
  const char16_t lone[] = {u'a', 0xD800, u'b'};
  EXPECT_EQ(ZelWstring(lone, 3).toUtf8(), "a\xef\xbf\xbd" "b");
}
}  // namespace
