// Parsing into messages and into events: names, namespaces and attributes of
// defined and self-defining elements, navigation, reuse, and the errors of
// bad documents.
#include "apitestsupport.h"
#include "messageinfo.h"
#include "wfxml/host.h"
#include "testdata.h"
#include "paramname.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

TEST(FirstExample, ASchemaAndAMessageInFiveLines) {
  const std::string schema = testData("api/first-example-order.xsd");
  const std::string bytes = "<order><customer><name>Ada</name></customer><total>10.50</total></order>";

  auto set = wfxml::MessageSet::compile({schema});
  wfxml::Message order = set.parse(bytes.data(), bytes.size());
  EXPECT_EQ(order.root().child("customer").child("name").value().text(), "Ada");
  EXPECT_EQ(order.root().child("total").value().kind(), wfxml::ValueKind::Decimal);
  std::vector<std::uint8_t> ebcdic = set.write(order, {"ibm-500"});
  EXPECT_EQ(textOf(set.write(set.parse(ebcdic.data(), ebcdic.size(), {"ibm-500"}))),
            textOf(set.write(order)));
}

TEST(Elements, DefinedElementsHaveTheirDocumentNamesAndNamespaces) {
  const wfxml::Element root = kindsMessage().root();
  EXPECT_EQ(root.name(), "values");
  EXPECT_EQ(root.namespaceUri(), "urn:test:kinds");
  EXPECT_FALSE(root.isSelfDefining());
  std::vector<std::string> names;
  for (const wfxml::Element& child : root.children()) {
    names.push_back(child.name() + (child.isAttribute() ? "@" : ""));
    EXPECT_FALSE(child.isSelfDefining()) << child.name();
    EXPECT_EQ(child.parent().treeElement(), root.treeElement());
  }
  const std::vector<std::string> expected{"id@",  "text", "count", "huge", "price", "ratio",  "limit",
                                          "flag", "stamp", "day",  "span", "blob",  "hex", "missing"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(root.child("id").namespaceUri(), "");
  // Lookups by local name and namespace, of elements and of attributes.
  EXPECT_TRUE(root.attribute("id").isAttribute());
  EXPECT_EQ(root.attribute("id", "").treeElement(), root.child("id").treeElement());
  EXPECT_EQ(root.child("text", "urn:test:kinds").treeElement(), root.child("text").treeElement());
  EXPECT_FALSE(root.attribute("text"));
  EXPECT_FALSE(root.child("text", "urn:other"));
  EXPECT_FALSE(root.child("id", ""));
  EXPECT_FALSE(root.attribute("id", "urn:test:kinds"));
}

TEST(Elements, SimpleContentIsTheValueOfItsElementButListItemsAreNot) {
  const std::string schema = testData("api/amounts-and-lists.xsd");
  const std::string bytes = R"(<doc><amount Ccy="EUR">1250.00</amount><days>1 2</days></doc>)";

  const wfxml::Message message = wfxml::MessageSet::compile({schema}).parse(bytes.data(), bytes.size());
  const wfxml::Element amount = message.root().child("amount");
  EXPECT_EQ(amount.value().text(), "1250.00");
  EXPECT_EQ(amount.value().kind(), wfxml::ValueKind::Decimal);
  EXPECT_EQ(amount.child("Ccy").value().text(), "EUR");
  const wfxml::Element days = message.root().child("days");
  EXPECT_FALSE(days.hasValue());
  EXPECT_EQ(days.children().size(), 2u);
}

TEST(Elements, SelfDefiningElementsKeepTheirSpelling) {
  // Without a dictionary namespaces are not processed: names keep their prefixes.
  const std::string document = R"(<a:doc kind="x"><item>1</item><a:item>2</a:item></a:doc>)";
  const wfxml::Message message = wfxml::MessageSet::none().parse(document.data(), document.size());
  const wfxml::Element root = message.root();
  EXPECT_EQ(root.name(), "a:doc");
  EXPECT_EQ(root.namespaceUri(), "");
  EXPECT_TRUE(root.isSelfDefining());
  const wfxml::Element kind = root.firstChild();
  EXPECT_EQ(kind.name(), "kind");
  EXPECT_TRUE(kind.isAttribute());
  EXPECT_EQ(kind.value().text(), "x");
  const wfxml::Element first = kind.nextSibling();
  EXPECT_FALSE(first.isAttribute());
  EXPECT_EQ(first.value().text(), "1");
  const wfxml::Element second = first.nextSibling();
  EXPECT_EQ(second.name(), "a:item");
  EXPECT_EQ(second.value().kind(), wfxml::ValueKind::String);
  EXPECT_FALSE(second.nextSibling());
  EXPECT_EQ(root.child("item").treeElement(), first.treeElement());
}

TEST(Elements, HandlesStayValidWhenTheMessageMoves) {
  wfxml::Message message = kindsMessageSet().parse(kKindsDocument.data(), kKindsDocument.size());
  const wfxml::Element count = message.root().child("count");
  const wfxml::Message moved = std::move(message);
  EXPECT_EQ(count.name(), "count");
  EXPECT_EQ(count.value().asInteger(), -42);
}

// tests/data/api/events.txt: documents and the events of their parse.
class ParseEvents : public testing::TestWithParam<DataCase> {};

TEST_P(ParseEvents, AreNamedTypedAndInDocumentOrder) {
  const wfxml::MessageSet set = GetParam()["set"] == "kinds" ? kindsMessageSet() : wfxml::MessageSet::none();
  EXPECT_EQ(eventLines(set, GetParam()["document"]), GetParam().lines());
}

INSTANTIATE_TEST_SUITE_P(Documents, ParseEvents, testing::ValuesIn(dataCases("api/events.txt")), ReadableName());

TEST(Events, ACallbackThatThrowsStopsTheParseAndTheSessionGoesOn) {
  wfxml::Session session(kindsMessageSet());
  struct Stop {};
  int seen = 0;
  EXPECT_THROW(session.parse(kKindsDocument.data(), kKindsDocument.size(),
                             [&seen](const wfxml::Event&) {
                               if (++seen == 5) throw Stop{};
                             }),
               Stop);
  EXPECT_EQ(seen, 5);
  const wfxml::Message message = session.parse(kKindsDocument.data(), kKindsDocument.size());
  EXPECT_EQ(message.root().child("count").value().asInteger(), -42);
}

// tests/data/api/parse-errors.txt: documents (read with the encoding named,
// if any), and the key, an insert and what() of their errors.
class ParseErrors : public testing::TestWithParam<DataCase> {};

TEST_P(ParseErrors, CarryKeyInsertsAndPlaceAndLeaveTheSessionUsable) {
  const DataCase& bad = GetParam();
  wfxml::Session session(kindsMessageSet());
  const wfxml::ParseOptions options{bad.fields.count("encoding") ? bad["encoding"] : ""};
  const wfxml::Error e = errorOf([&] { session.parse(bad.text.data(), bad.text.size(), options); });
  EXPECT_EQ(e.key(), bad["key"]) << e.what();
  const std::size_t at = std::stoul(bad["at"]);
  ASSERT_GT(e.inserts().size(), at) << e.what();
  EXPECT_EQ(e.inserts()[at], bad["insert"]) << e.what();
  EXPECT_EQ(std::string(e.what()), bad["what"]);
  EXPECT_TRUE(e.hostException());
  // The one-pass typed path reads UTF-8 widened to UTF-16, to the same errors.
  const wfxml::Error typed = errorOf([&] { session.toJson(bad.text.data(), bad.text.size(), options); });
  EXPECT_EQ(typed.inserts(), e.inserts());
  EXPECT_EQ(std::string(typed.what()), bad["what"]);
  // The failed worker is replaced; the next document parses.
  const wfxml::Message message = session.parse(kKindsDocument.data(), kKindsDocument.size());
  EXPECT_EQ(message.root().name(), "values");
  // The same failure after a good document names nothing of that document.
  const wfxml::Error again = errorOf([&] { session.parse(bad.text.data(), bad.text.size(), options); });
  EXPECT_EQ(again.inserts(), e.inserts());
  EXPECT_EQ(std::string(again.what()), bad["what"]);
}

INSTANTIATE_TEST_SUITE_P(Documents, ParseErrors, testing::ValuesIn(dataCases("api/parse-errors.txt")), ReadableName());

// Xerces-C drops a UTF-8 sequence that the end of the input cuts short, so
// "<a/>\xFF" would read as well-formed: refused, named where it starts, as
// the document's last fault (one found before it comes first, as when the
// document is read in pieces; an element it leaves open is its doing). A
// byte that is not UTF-8 is named with its value where it stands, not at the
// start of the block Xerces-C's decoder was reading (1:1 here).
TEST(ParseErrors, AUtf8SequenceCutShortByTheEndIsRefused) {
  const std::string start = "<values xmlns=\"urn:test:kinds\"><text>a</text>";
  const std::string cutAtE2 = "the document ends inside the UTF-8 sequence that byte 0xE2 begins";
  const std::string notUtf8 = "byte 0xE9 is not UTF-8 (the document is read as UTF-8; one in another code page must "
                              "declare it, e.g. <?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>)";
  const struct {
    std::string xml, error, lastProblem;
  } cases[] = {
      {start + "</values>\n\xE2\x82", "2:1: " + cutAtE2, cutAtE2},
      {start + "\xF8</v", "1:46: the document ends inside the UTF-8 sequence that byte 0xF8 begins",
       "the document ends inside the UTF-8 sequence that byte 0xF8 begins"},
      {start + "</value>\n\xE2\x82", "1:48: expected end of tag 'values' in <values>", cutAtE2},
      {start + "\n<text>caf\xE9</text></values>", "2:10: " + notUtf8, notUtf8},
  };
  wfxml::Session session(kindsMessageSet());
  for (const auto& each : cases) {
    const std::string& xml = each.xml;
    wfxml::Message message = session.parse(kKindsDocument.data(), kKindsDocument.size());
    EXPECT_EQ(errorOf([&] { session.parse(xml.data(), xml.size(), message); }).what(), each.error);
    EXPECT_FALSE(message.root());
    EXPECT_EQ(errorOf([&] { session.toJson(xml.data(), xml.size()); }).what(), each.error);
    EXPECT_EQ(errorOf([&] { wfxml::host::parse(session, xml.data(), xml.size(), MessageInfo(), message); }).what(),
              each.error);
    EXPECT_EQ(kindsMessageSet().validate(xml.data(), xml.size()).back().message, each.lastProblem);
  }
}

TEST(ParseInto, AMessageIsReusedAndEmptiedByAFailure) {
  wfxml::Session session(kindsMessageSet());
  wfxml::Message message = session.parse(kKindsDocument.data(), kKindsDocument.size());
  const std::string small = R"(<values xmlns="urn:test:kinds"><text>b</text></values>)";
  session.parse(small.data(), small.size(), message);
  EXPECT_EQ(message.root().children().size(), 1u);
  EXPECT_EQ(message.root().child("text").value().text(), "b");
  EXPECT_THROW(session.parse("<values", 7, message), wfxml::Error);
  EXPECT_FALSE(message.root());
}

}  // namespace
