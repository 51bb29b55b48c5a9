// Writing and parsing in code pages by name: each encoding writes bytes of
// its own, which parse back into the same message.
#include "apitestsupport.h"
#include "testdata.h"
#include "paramname.h"
#include "messageinfo.h"
#include "wfxml/host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// tests/data/api/encodings.txt: encoding names and the first bytes written.
class CodePages : public testing::TestWithParam<DataCase> {};

TEST_P(CodePages, WrittenBytesParseBackToTheSameMessage) {
  const std::string& name = GetParam()["encoding"];
  std::string start;
  for (std::size_t at = 0; at < GetParam()["start"].size(); at += 2)
    start += static_cast<char>(std::stoi(GetParam()["start"].substr(at, 2), nullptr, 16));
  wfxml::Session session(kindsMessageSet());
  const std::vector<std::uint8_t> utf8 = session.write(kindsMessage());
  const std::vector<std::uint8_t> bytes = session.write(kindsMessage(), {name});
  EXPECT_EQ(textOf(bytes).substr(0, start.size()), start);
  // Read back both with the name and by what the bytes say of themselves,
  // as options and through the framework's properties.
  for (const std::string& encoding : {name, std::string()}) {
    const wfxml::Message again = session.parse(bytes.data(), bytes.size(), {encoding});
    EXPECT_EQ(again.root().child("text").value().text(), "Zoë & <Müller>") << encoding;
    EXPECT_EQ(textOf(session.write(again)), textOf(utf8)) << encoding;
    MessageInfo properties;
    wfxml::host::setEncoding(encoding, properties);  // none: code page 0, which the worker keeps otherwise
    wfxml::Message framework = wfxml::host::emptyMessage(kindsMessageSet());
    wfxml::host::parse(session, bytes.data(), bytes.size(), properties, framework);
    EXPECT_EQ(textOf(session.write(framework)), textOf(utf8)) << encoding;
  }
}

INSTANTIATE_TEST_SUITE_P(Encodings, CodePages, testing::ValuesIn(dataCases("api/encodings.txt")), ReadableName());

// A write appends to the bytes given; one of an unknown code page name, of
// a code page that cannot write XML, or of a name the code page lacks (no
// character reference may stand in a name) appends nothing.
TEST(CodePageNames, AWriteAppendsAndAnUnknownNameIsRefusedBeforeAnythingIsWritten) {
  wfxml::Session session(kindsMessageSet());
  std::vector<std::uint8_t> out = bytesOf("1");
  session.write(kindsMessage(), out);
  const wfxml::Error e = errorOf([&] { session.write(kindsMessage(), out, {"klingon-1"}); });
  EXPECT_EQ(e.key(), "CP_UNKNOWN_ENCODING");
  EXPECT_EQ(e.inserts(), std::vector<std::string>{"klingon-1"});
  EXPECT_NE(std::string(e.what()).find("'klingon-1' (a code page ICU knows, such as ibm-500"), std::string::npos);
  session.write(kindsMessage(), out);
  const std::string once = textOf(session.write(kindsMessage()));
  EXPECT_EQ(textOf(out), "1" + once + once);
  EXPECT_EQ(errorOf([&] { session.parse(kKindsDocument.data(), 10, {"ibm-999999"}); }).key(), "CP_UNKNOWN_ENCODING");
  // A declaration that names another code page, in which the bytes read the same, is no contradiction.
  const std::string ascii = "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><values xmlns=\"urn:test:kinds\"/>";
  EXPECT_EQ(session.parse(ascii.data(), ascii.size(), {"utf-8"}).root().name(), "values");
  // ICU has a converter by this name, but no CCSID to open it by.
  EXPECT_EQ(errorOf([&] { session.write(kindsMessage(), out, {"GBK"}); }).what(),
            std::string("GBK: ICU's converter windows-936-2000 has no IBM code page number (CCSID), by which documents "
                        "are read and written: name a code page that has one, or none for a document that declares "
                        "its encoding"));

  wfxml::Session plain(wfxml::MessageSet::none());
  const std::string cyrillic = "<r\xD0\x96>\xD0\x96</r\xD0\x96>";
  const wfxml::Message named = plain.parse(cyrillic.data(), cyrillic.size());
  EXPECT_EQ(errorOf([&] { plain.write(named, out, {"iso-8859-1"}); }).what(),
            std::string("U+0416 is not in code page 819, and a character reference cannot stand for it in a name, "
                        "comment, processing instruction, CDATA section or DOCTYPE"));
  EXPECT_EQ(errorOf([&] { plain.write(named, out, {"IBM-803"}); }).what(),
            std::string("IBM-803: the code page has no '&', which XML markup needs"));
  EXPECT_EQ(textOf(out), "1" + once + once);
}

}  // namespace
