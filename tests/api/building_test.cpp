// Building messages by name: members resolved against the parent's type,
// attributes, list items, values checked against the member's type, and
// self-defining content only where a wildcard admits it.
#include "apitestsupport.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

TEST(Building, AMessageBuiltByNameWritesAsTheSchemaSaysAndReadsBack) {
  wfxml::Message order = wfxml::Message::create(typedMessageSet(), "order");
  wfxml::Element root = order.root();
  root.append("@id").setString("o-9");
  wfxml::Element party = root.append("party");
  party.append("name").setString("Ann");
  wfxml::Element line = root.append("line");
  line.append("qty").setInteger(3);
  wfxml::Element price = line.append("price");
  price.append("@ccy").setString("CHF");
  price.setDecimal("123456789012345678901.50");
  root.append("key").setString("k");
  wfxml::Element codes = root.append("codes");
  codes.append("").setInteger(1);
  codes.append("").setInteger(2);
  root.append("size").setString("large");
  root.append("total").setDecimal("-0.5");
  root.append("big").setInteger(-7);
  root.append("ratio").setDouble(0.5);
  root.append("limit").setDouble(1e300);
  root.append("urgent").setBoolean(false);
  root.append("when").setDateTime("2026-12-05T10:15:00Z");
  root.append("wait").setDuration("PT1M");
  const std::uint8_t bytes[] = {0xde, 0xad};
  root.append("blob").setBinary(bytes, sizeof bytes);
  root.append("note").setNull();
  root.append("remark");
  root.append("name").setString("N");
  root.append("name", "urn:test:other").setString("O");
  wfxml::Element memo = root.append("memo", "urn:test:memo");
  memo.append("line").setString("one");

  wfxml::Session session(typedMessageSet());
  const std::vector<std::uint8_t> xml = session.write(order);
  EXPECT_EQ(typedJson(session.messageSet(), xml.data(), xml.size()),
            R"({"order":{"@id":"o-9","party":[{"name":"Ann"}],)"
            R"("line":[{"qty":3,"price":{"@ccy":"CHF","$":123456789012345678901.50}}],"key":["k"],)"
            R"("codes":[1,2],"size":"large","total":-0.5,"big":-7,"ratio":0.5,"limit":1e+300,"urgent":false,)"
            R"("when":"2026-12-05T10:15:00Z","wait":"PT1M","blob":"3q0=","note":null,"remark":{"$":[]},)"
            R"("t:name":"N","o:name":"O","{urn:test:memo}memo":{"line":"one"}}})")
      << textOf(xml);
}

// A null where the value cannot be one (a list's, element content, a union's) is
// written as xsi:nil, as the parse reads it; it was written as an empty element.
TEST(Building, NilElementsOfEveryKindReadBackNil) {
  const wfxml::MessageSet& set = compiledOnce(testData("typed/given.xsd"));
  wfxml::Message doc = wfxml::Message::create(set, "doc");
  for (const char* name : {"s", "nl", "nc", "nu"}) doc.root().append(name).setNull();
  wfxml::Session session(set);
  const std::vector<std::uint8_t> xml = session.write(doc);
  EXPECT_EQ(typedJson(set, xml.data(), xml.size()), R"({"doc":{"s":null,"nl":null,"nc":null,"nu":null}})") << textOf(xml);
}

// The last value given wins: a value after a null takes the nil mark away
// (it stayed, and the element was written nil with a value), and a null after
// a value takes the value away, also simple content beside attributes.
TEST(Building, AValueAfterANullAndANullAfterAValueLeaveTheLastOne) {
  const wfxml::MessageSet& set = compiledOnce(testData("typed/given.xsd"));
  wfxml::Message doc = wfxml::Message::create(set, "doc");
  wfxml::Element root = doc.root();
  root.append("s").setNull().setString("x");
  root.append("nu").setNull().setString("w");
  wfxml::Element tagged = root.append("nt");
  tagged.append("@u").setString("a");
  tagged.setNull().setInteger(2);
  wfxml::Session session(set);
  std::vector<std::uint8_t> xml = session.write(doc);
  EXPECT_EQ(typedJson(set, xml.data(), xml.size()), R"({"doc":{"s":"x","nu":"w","nt":{"@u":"a","$":2}}})")
      << textOf(xml);

  wfxml::Message again = wfxml::Message::create(set, "doc");
  again.root().append("nu").setString("w").setNull();
  wfxml::Element taggedAgain = again.root().append("nt");
  taggedAgain.append("@u").setString("a");
  taggedAgain.setInteger(2).setNull();
  xml = session.write(again);
  EXPECT_EQ(typedJson(set, xml.data(), xml.size()), R"({"doc":{"nu":null,"nt":{"@u":"a","@xsi:nil":"true"}}})") << textOf(xml);
}

TEST(Building, UnknownNamesAreRefusedWithTheParentsPathAndARefusedValueLeavesTheOldOne) {
  wfxml::Message order = wfxml::Message::create(typedMessageSet(), "order");
  wfxml::Element party = order.root().append("party");
  const wfxml::Error error = errorOf([&] { party.append("fax"); });
  EXPECT_EQ(error.key(), "CP_UNKNOWN_MEMBER");
  EXPECT_EQ(error.inserts(), (std::vector<std::string>{"fax", "/order/party"}));
  EXPECT_EQ(errorOf([&] { party.append("@rank"); }).key(), "CP_UNKNOWN_MEMBER");
  EXPECT_EQ(errorOf([&] { wfxml::Message::create(typedMessageSet(), "invoice"); }).key(), "CP_UNKNOWN_MEMBER");
  // A value refused for an element that has one leaves it as it was.
  wfxml::Element name = order.root().append("name").setString("Ann");
  EXPECT_EQ(errorOf([&] { name.setBoolean(true); }).key(), "CP_TYPE_MISMATCH");
  EXPECT_EQ(order.root().child("name").value().text(), "Ann");
}

struct Mismatch {
  const char* name;
  const char* member;
  void (*set)(wfxml::Element&);
};

class ValuesThatDoNotSuit : public testing::TestWithParam<Mismatch> {};

// A refused value leaves the tree as it was: an element just appended for
// it is gone again (it would write a document that does not parse).
TEST_P(ValuesThatDoNotSuit, AreRefusedAndLeaveTheTreeAsItWas) {
  wfxml::Message order = wfxml::Message::create(typedMessageSet(), "order");
  EXPECT_EQ(errorOf([&] {
              wfxml::Element element = order.root().append(GetParam().member);
              GetParam().set(element);
            }).key(),
            "CP_TYPE_MISMATCH");
  EXPECT_FALSE(order.root().child(GetParam().member));
}

INSTANTIATE_TEST_SUITE_P(
    Building, ValuesThatDoNotSuit,
    testing::Values(Mismatch{"StringForInteger", "big", [](wfxml::Element& e) { e.setString("7"); }},
                    Mismatch{"DoubleForInteger", "big", [](wfxml::Element& e) { e.setDouble(7.5); }},
                    Mismatch{"FractionForInteger", "big", [](wfxml::Element& e) { e.setDecimal("7.5"); }},
                    Mismatch{"BooleanForString", "name", [](wfxml::Element& e) { e.setBoolean(true); }},
                    Mismatch{"TextForDecimal", "total", [](wfxml::Element& e) { e.setString("ten"); }},
                    Mismatch{"BadDateTime", "when", [](wfxml::Element& e) { e.setDateTime("noon"); }},
                    Mismatch{"BadDuration", "wait", [](wfxml::Element& e) { e.setDuration("1 hour"); }},
                    Mismatch{"NullForNotNillable", "urgent", [](wfxml::Element& e) { e.setNull(); }},
                    Mismatch{"ValueForComplexType", "party", [](wfxml::Element& e) { e.setString("x"); }},
                    // Bytes that are not UTF-8 were stored as U+FFFD.
                    Mismatch{"NotUtf8", "name", [](wfxml::Element& e) { e.setString("A\xFFn"); }},
                    Mismatch{"Surrogate", "when", [](wfxml::Element& e) { e.setDateTime("\xED\xA0\x80"); }}),
    [](const testing::TestParamInfo<Mismatch>& info) { return info.param.name; });

// Indented output breaks lines only between the children of element-only
// content (a wildcard's unknown elements among them), never in mixed or
// simple content, and reads back to the same events.
TEST(Writing, IndentedOutputReadsBackToTheSameEvents) {
  const std::string original = readFileText(std::string(WF_TEST_DATA_DIR) + "/typed/order.xml");
  const std::string mixed = "Deliver <b>before</b> noon";
  for (const auto& [remark, written] :
       {std::pair{mixed, "Deliver <t:b>before</t:b> noon"}, {"<b>before</b>", "<t:b>before</t:b>"}}) {
    const std::string document = std::string(original).replace(original.find(mixed), mixed.size(), remark);
    wfxml::Session session(typedMessageSet());
    wfxml::WriteOptions indented;
    indented.indent = true;
    const std::vector<std::uint8_t> xml = session.write(session.parse(document.data(), document.size()), indented);
    const std::string text = textOf(xml);
    EXPECT_EQ(eventLines(typedMessageSet(), text), eventLines(typedMessageSet(), document)) << text;
    for (const std::string& expected :
         {std::string("\n  <t:party id=\"p1\">\n    <t:name>Ann</t:name>\n  </t:party>\n"),
          std::string("\n    <t:price ccy=\"EUR\">12345678901234567.0123456</t:price>\n"),
          std::string("\n  <t:remark o:batch=\"8\">") + written + "</t:remark>\n",
          std::string("\n    <ns1:line>two</ns1:line>\n  </ns1:memo>\n</t:order>\n")})
      EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
  }
}

// Without dictionary, the same message gives the same bytes; a DOCTYPE and
// a time stamp only when asked for.
TEST(Building, WithoutDictionaryEverythingIsSelfDefining) {
  const wfxml::MessageSet none = wfxml::MessageSet::none();
  wfxml::Message message = wfxml::Message::create(none, "note");
  message.root().append("@lang").setString("en");
  message.root().append("to").setString("Ann");
  EXPECT_EQ(textOf(none.write(message)), R"(<?xml version="1.0"?><note lang="en"><to>Ann</to></note>)");
  wfxml::WriteOptions asking;
  asking.docType = asking.timestampComment = true;
  EXPECT_EQ(textOf(none.write(message, asking)).rfind(R"(<?xml version="1.0"?><!DOCTYPE note><!--)", 0), 0u);
}

}  // namespace
