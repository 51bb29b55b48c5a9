// Making message sets: compiled from schemas or a message-set source, loaded
// from a dictionary file, or none; and the errors of each.
#include "apitestsupport.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

TEST(MessageSets, ADictionaryFileLoadsTheSameMessageSet) {
  const ScratchFolder folder;
  const std::vector<std::uint8_t> bytes = kindsMessageSet().dictionaryBytes();
  ASSERT_FALSE(bytes.empty());
  const std::string file = folder.write("kinds.dict", std::string(bytes.begin(), bytes.end()));
  const std::string document = folder.write("kinds.xml", std::string(kKindsDocument));
  for (const wfxml::MessageSet& loaded : {wfxml::MessageSet::load(file), wfxml::MessageSet::fromDictionaryBytes(bytes)}) {
    EXPECT_EQ(loaded.dictionaryBytes(), bytes);
    EXPECT_EQ(loaded.messageNames(), std::vector<std::string>{"values"});
    const wfxml::Message message = loaded.parseFile(document);
    EXPECT_EQ(textOf(loaded.write(message)), textOf(kindsMessageSet().write(kindsMessage())));
    EXPECT_EQ(loaded.toJson(message), kindsMessageSet().toJson(kKindsDocument.data(), kKindsDocument.size()));
  }
}

TEST(MessageSets, AMessageSetSourceCompiles) {
  const wfxml::MessageSet set = wfxml::MessageSet::compile({WF_EXAMPLES_DIR "/purchase-order/purchase-order.json"});
  EXPECT_FALSE(set.messageNames().empty());
  const std::string document = readFileText(WF_EXAMPLES_DIR "/purchase-order/order-1.xml");
  const wfxml::Message order = set.parse(document.data(), document.size());
  EXPECT_FALSE(order.root().isSelfDefining());
  const wfxml::Value quantity = order.root().child("items").child("item").child("quantity").value();
  EXPECT_EQ(quantity.kind(), wfxml::ValueKind::Decimal);  // an xs:integer, without 64-bit bounds
  EXPECT_EQ(quantity.text(), "1");
}

TEST(MessageSets, NoneHasNoDictionaryAndNoMessages) {
  const wfxml::MessageSet none = wfxml::MessageSet::none();
  EXPECT_TRUE(none.dictionaryBytes().empty());
  EXPECT_TRUE(none.messageNames().empty());
  // The message element holds its text as an anonymous value.
  const std::string document = "<count>5</count>";
  const wfxml::Message message = none.parse(document.data(), document.size());
  const wfxml::Element text = message.root().firstChild();
  EXPECT_EQ(text.name(), "");
  EXPECT_FALSE(text.isSelfDefining());
  EXPECT_EQ(text.value().kind(), wfxml::ValueKind::String);
  EXPECT_EQ(text.value().text(), "5");
}

TEST(MessageSets, AMessageOfAnotherDictionaryIsNotWritten) {
  const wfxml::MessageSet other = wfxml::MessageSet::compile({WF_EXAMPLES_DIR "/payment/payment.xsd"});
  EXPECT_EQ(errorOf([&] { other.write(kindsMessage()); }).key(), "CP_TREE_ERROR");
  // Self-defining messages need no dictionary, so any set writes them.
  const std::string document = "<a>1</a>";
  const wfxml::Message plain = wfxml::MessageSet::none().parse(document.data(), document.size());
  const std::string written = textOf(other.write(plain));
  EXPECT_NE(written.find("<a>1</a>"), std::string::npos) << written;
}

struct SourceError {
  const char* name;
  enum Call { Load, Compile, ParseFile } call;  // Load and ParseFile: of the one source
  std::vector<std::string> sources;
  const char* key;
  const char* firstInsert;
};
// By name: gtest would print the bytes of the struct, padding included.
void PrintTo(const SourceError& c, std::ostream* out) { *out << c.name; }

class MessageSetErrors : public testing::TestWithParam<SourceError> {};

TEST_P(MessageSetErrors, NameTheFileAndTheFault) {
  const wfxml::Error e = errorOf([&] {
    switch (GetParam().call) {
      case SourceError::Load: wfxml::MessageSet::load(GetParam().sources.at(0)); break;
      case SourceError::Compile: wfxml::MessageSet::compile(GetParam().sources); break;
      case SourceError::ParseFile: kindsMessageSet().parseFile(GetParam().sources.at(0)); break;
    }
  });
  EXPECT_EQ(e.key(), GetParam().key) << e.what();
  ASSERT_FALSE(e.inserts().empty());
  EXPECT_EQ(e.inserts()[0], GetParam().firstInsert);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MessageSetErrors,
    testing::Values(SourceError{"MissingDictionary", SourceError::Load, {"/nonexistent/x.dict"}, "CP_IO_ERROR",
                                "/nonexistent/x.dict"},
                    SourceError{"FolderAsDictionary", SourceError::Load, {WF_EXAMPLES_DIR}, "CP_IO_ERROR",
                                WF_EXAMPLES_DIR},
                    SourceError{"MissingDocument", SourceError::ParseFile, {"/nonexistent/x.xml"}, "CP_IO_ERROR",
                                "/nonexistent/x.xml"},
                    SourceError{"MissingSchema", SourceError::Compile, {"/nonexistent/x.xsd"},
                                "CP_DICTIONARY_SOURCE_ERROR", "/nonexistent/x.xsd"},
                    SourceError{"UnknownFormat", SourceError::Compile, {WF_EXAMPLES_DIR "/order.xml"},
                                "CP_DICTIONARY_SOURCE_ERROR", WF_EXAMPLES_DIR "/order.xml"},
                    SourceError{"NoSource", SourceError::Compile, {}, "CP_DICTIONARY_SOURCE_ERROR", ""}),
    [](const testing::TestParamInfo<SourceError>& info) { return std::string(info.param.name); });

TEST(MessageSets, ACorruptDictionaryIsAFormatError) {
  const ScratchFolder folder;
  const std::vector<std::uint8_t> bytes = kindsMessageSet().dictionaryBytes();
  const std::string file = folder.write("cut.dict", std::string(bytes.begin(), bytes.begin() + bytes.size() / 2));
  EXPECT_EQ(errorOf([&] { wfxml::MessageSet::load(file); }).key(), "CP_DICTIONARY_FORMAT_ERROR");
  EXPECT_EQ(errorOf([&] { wfxml::MessageSet::fromDictionaryBytes({bytes.begin(), bytes.begin() + 9}); }).key(),
            "CP_DICTIONARY_FORMAT_ERROR");
  // An empty file is no dictionary, not the set without one.
  const std::string empty = folder.write("empty.dict", "");
  EXPECT_EQ(errorOf([&] { wfxml::MessageSet::load(empty); }).key(), "CP_DICTIONARY_FORMAT_ERROR");
}

}  // namespace
