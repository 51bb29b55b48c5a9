// Writing and parsing in code pages by name: each encoding writes bytes of
// its own, which parse back into the same message.
#include "apitestsupport.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

struct EncodingCase {
  const char* name;
  const char* encoding;
  std::vector<std::uint8_t> start;  // the first bytes of the document
};
// By name: gtest would print the bytes of the struct, padding included.
void PrintTo(const EncodingCase& c, std::ostream* out) { *out << c.name; }

class CodePages : public testing::TestWithParam<EncodingCase> {};

TEST_P(CodePages, WrittenBytesParseBackToTheSameMessage) {
  wfxml::Session session(kindsMessageSet());
  const std::vector<std::uint8_t> utf8 = session.write(kindsMessage());
  const std::vector<std::uint8_t> bytes = session.write(kindsMessage(), {GetParam().encoding});
  ASSERT_GE(bytes.size(), GetParam().start.size());
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + GetParam().start.size()), GetParam().start);
  // Read back both with the name and by what the bytes say of themselves.
  for (const std::string& encoding : {std::string(GetParam().encoding), std::string()}) {
    const wfxml::Message again = session.parse(bytes.data(), bytes.size(), {encoding});
    EXPECT_EQ(again.root().child("text").value().text(), "Zoë & <Müller>") << encoding;
    EXPECT_EQ(textOf(session.write(again)), textOf(utf8)) << encoding;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, CodePages,
    testing::Values(EncodingCase{"Utf8", "utf-8", {'<', '?', 'x', 'm', 'l'}},
                    EncodingCase{"Utf16LittleEndian", "utf-16le", {0xFF, 0xFE, '<', 0}},
                    EncodingCase{"Utf16BigEndian", "UTF-16BE", {0xFE, 0xFF, 0, '<'}},
                    EncodingCase{"Ebcdic500", "ibm-500", {0x4C, 0x6F, 0xA7, 0x94, 0x93}},
                    EncodingCase{"Ccsid37", "37", {0x4C, 0x6F, 0xA7, 0x94, 0x93}},
                    EncodingCase{"Latin1", "iso-8859-1", {'<', '?', 'x', 'm', 'l'}}),
    [](const testing::TestParamInfo<EncodingCase>& info) { return std::string(info.param.name); });

// A write appends to the bytes given; one of an unknown code page name
// appends nothing.
TEST(CodePageNames, AWriteAppendsAndAnUnknownNameIsRefusedBeforeAnythingIsWritten) {
  wfxml::Session session(kindsMessageSet());
  std::vector<std::uint8_t> out = bytesOf("1");
  session.write(kindsMessage(), out);
  const wfxml::Error e = errorOf([&] { session.write(kindsMessage(), out, {"klingon-1"}); });
  EXPECT_EQ(e.key(), "CP_UNKNOWN_ENCODING");
  EXPECT_EQ(e.inserts(), std::vector<std::string>{"klingon-1"});
  session.write(kindsMessage(), out);
  const std::string once = textOf(session.write(kindsMessage()));
  EXPECT_EQ(textOf(out), "1" + once + once);
  EXPECT_EQ(errorOf([&] { session.parse(kKindsDocument.data(), 10, {"ibm-999999"}); }).key(), "CP_UNKNOWN_ENCODING");
}

}  // namespace
