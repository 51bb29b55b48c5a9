// Making message sets: compiled from schemas or a message-set source, loaded
// from a dictionary file, or none; and the errors of each.
#include "apitestsupport.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A dictionary's bytes, from a file or given, load the same message set;
// cut short, or an empty file (no dictionary, not the set without one),
// they are a format error.
TEST(MessageSets, ADictionaryFileLoadsTheSameMessageSetACorruptOneIsAFormatError) {
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
  const std::string cut = folder.write("cut.dict", std::string(bytes.begin(), bytes.begin() + bytes.size() / 2));
  for (const std::string& bad : {cut, folder.write("empty.dict", "")})
    EXPECT_EQ(errorOf([&] { wfxml::MessageSet::load(bad); }).key(), "CP_DICTIONARY_FORMAT_ERROR") << bad;
  EXPECT_EQ(errorOf([&] { wfxml::MessageSet::fromDictionaryBytes({bytes.begin(), bytes.begin() + 9}); }).key(),
            "CP_DICTIONARY_FORMAT_ERROR");
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

// tests/data/api/message-set-errors.txt: sources that make no message set,
// the call, and the key and first insert of its error.
class MessageSetErrors : public testing::TestWithParam<DataCase> {};

TEST_P(MessageSetErrors, NameTheFileAndTheFault) {
  const auto examples = [](std::string text) {
    const std::size_t at = text.find("@EXAMPLES@");
    return at == std::string::npos ? text : text.replace(at, 10, WF_EXAMPLES_DIR);
  };
  std::vector<std::string> sources;
  for (const std::string& line : GetParam().lines()) sources.push_back(examples(line));
  const std::string& call = GetParam()["call"];
  const wfxml::Error e = errorOf([&] {
    if (call == "load") wfxml::MessageSet::load(sources.at(0));
    if (call == "compile") wfxml::MessageSet::compile(sources);
    if (call == "parseFile") kindsMessageSet().parseFile(sources.at(0));
  });
  EXPECT_EQ(e.key(), GetParam()["key"]) << e.what();
  ASSERT_FALSE(e.inserts().empty());
  EXPECT_EQ(e.inserts()[0], examples(GetParam()["first"]));
}

INSTANTIATE_TEST_SUITE_P(Sources, MessageSetErrors, testing::ValuesIn(dataCases("api/message-set-errors.txt")),
                         [](const testing::TestParamInfo<DataCase>& info) { return info.param.label; });

}  // namespace
