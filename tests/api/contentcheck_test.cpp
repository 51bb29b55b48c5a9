// What the schema forbids in a message's content is refused before anything
// is written: from typed JSON naming the JSON path, from a tree built
// through the API naming the tree path; the checks may be turned off.
#include "apitestsupport.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wfxml::MessageSet& paymentSet() { return compiledOnce(testData("api/payment-checks.xsd")); }

// Allowed: both branches of the repeating choice; an attribute beside a
// choice; one branch of a base's choice in its extension; one branch of a
// choice in mixed content (which the dictionary keeps without the choice).
const char kPayment[] =
    R"({"Payment":{"@Version":1,"Id":"P","Date":"2026-12-06","Amount":{"@Ccy":"EUR","$":1},"Ref":["a","b"],)"
    R"("Iban":"X","Note":["n"],"Tag":["t"],"Debtor":{"Name":"D"},)"
    R"("Interest":{"@id":"i1","floating":"EURIBOR","basis":"ACT"},"Key":{"$":[{"rsa":"r"}]}}})";

// A message-set source has no schema: its tables give the occurrences,
// choices and groups, and nothing checks the document written after them.
const wfxml::MessageSet& sourceSet() { return compiledOnce(testData("api/source-checks.json")); }

const char kSource[] = R"({"msg":{"hdr":"h","item":["a"],"iban":"I","street":"s","city":"c","x":["1"],"y":["2"]}})";

// tests/data/api/forbidden-*.txt: "from" in the JSON (kPayment, or kSource
// where "set" says so) replaced by "to" is refused with the inserts "path" and
// "what" (absent: the schema validator's message).
class ForbiddenContent : public testing::TestWithParam<DataCase> {};

TEST_P(ForbiddenContent, IsRefusedNamingItsJsonPath) {
  const DataCase& forbidden = GetParam();
  const bool source = forbidden.fields.count("set");
  const wfxml::MessageSet& set = source ? sourceSet() : paymentSet();
  std::string json = source ? kSource : kPayment;
  const std::size_t at = json.find(forbidden["from"]);
  ASSERT_NE(at, std::string::npos) << forbidden["from"];
  json.replace(at, forbidden["from"].size(), forbidden["to"]);
  const wfxml::Error error = errorOf([&] { set.fromJson(json); });
  EXPECT_EQ(error.key(), "CP_JSON_MISMATCH");
  ASSERT_EQ(error.inserts().size(), 2u) << error.what();
  EXPECT_EQ(error.inserts()[0], forbidden["path"]) << error.what();
  if (forbidden.fields.count("what")) {
    EXPECT_EQ(error.inserts()[1], forbidden["what"]);
  }
  // Unchecked, the same JSON is written as given.
  EXPECT_FALSE(set.fromJson(json, checkedWrite(false)).empty());
}

std::string caseName(const testing::TestParamInfo<DataCase>& info) { return info.param.label; }
INSTANTIATE_TEST_SUITE_P(Payment, ForbiddenContent, testing::ValuesIn(dataCases("api/forbidden-payment.txt")),
                         caseName);
INSTANTIATE_TEST_SUITE_P(Facets, ForbiddenContent, testing::ValuesIn(dataCases("api/forbidden-facets.txt")), caseName);
INSTANTIATE_TEST_SUITE_P(Source, ForbiddenContent, testing::ValuesIn(dataCases("api/forbidden-source.txt")), caseName);

TEST(ForbiddenContent, KeysInAnyOrderAreWrittenInTheSchemasOrder) {
  wfxml::Session session(paymentSet());
  const std::string shuffled =
      R"({"Payment":{"Tag":["t"],"Debtor":{"Name":"D"},"Ref":["a","b"],"Iban":"X","Amount":{"$":1,"@Ccy":"EUR"},)"
      R"("Note":["n"],"Key":{"$":[{"rsa":"r"}]},"Date":"2026-12-06","Interest":{"basis":"ACT","floating":"EURIBOR",)"
      R"("@id":"i1"},"Id":"P","@Version":1}})";
  const std::vector<std::uint8_t> xml = session.write(session.fromJson(shuffled));
  EXPECT_EQ(typedJson(session.messageSet(), xml.data(), xml.size()), kPayment);
}

TEST(ForbiddenContent, ATreeBuiltThroughTheApiIsRefusedNamingItsTreePath) {
  wfxml::Message payment = wfxml::Message::create(paymentSet(), "Payment");
  wfxml::Element root = payment.root();
  root.append("@Version").setInteger(1);
  root.append("Id").setString("P");
  root.append("Date").setDateTime("2026-12-06");
  wfxml::Element amount = root.append("Amount").setDecimal("1");
  for (const char* ref : {"a", "b", "x"}) root.append("Ref").setString(ref);
  root.append("Iban").setString("X");
  wfxml::Session session(paymentSet());
  wfxml::Error error = errorOf([&] { session.write(payment); });
  EXPECT_EQ(error.key(), "CP_INVALID_CONTENT");
  EXPECT_EQ(error.inserts(), (std::vector<std::string>{"/Payment/Amount/@Ccy", "required, but missing"}));
  EXPECT_EQ(error.path(), "/Payment/Amount/@Ccy");
  EXPECT_STREQ(error.what(), "required, but missing at /Payment/Amount/@Ccy");

  // A value outside its facets, named by the tree path of its element.
  amount.append("@Ccy").setString("EUR");
  EXPECT_EQ(errorOf([&] { session.write(payment); }).path(), "/Payment/Ref[3]");

  // From the root down: the root's problem first.
  root.append("Ref").setString("d");
  error = errorOf([&] { session.write(payment); });
  EXPECT_EQ(error.inserts(), (std::vector<std::string>{"/Payment/Ref", "given 4 times, at most 3 allowed"}));
  EXPECT_FALSE(session.write(payment, checkedWrite(false)).empty());
}

// The parse gives an element whose value attribute is absent a null value;
// written back, the set's null text ("NULL") would not read back as a number.
TEST(ForbiddenContent, ANullTheElementMayNotHoldIsRefused) {
  const wfxml::MessageSet set = wfxml::MessageSet::compile({WF_EXAMPLES_DIR "/purchase-order/purchase-order.json"});
  wfxml::Session session(set);
  // Beside an attribute the value is an anonymous child.
  for (const std::string xml : {R"(<order kind="purchase" orderNumber="1"><amount type="gross"/></order>)",
                                R"(<order kind="purchase" orderNumber="1"><amount type="gross" v="1"/></order>)"}) {
    const wfxml::Error error = errorOf([&] { session.write(session.parse(xml.data(), xml.size())); });
    EXPECT_EQ(error.inserts(), (std::vector<std::string>{"/order/amount", "null, but the element is not nillable"}));
  }
}

TEST(ForbiddenContent, WhatASourcesTablesAllowIsWritten) {
  EXPECT_FALSE(sourceSet().fromJson(kSource).empty());
  EXPECT_FALSE(sourceSet().fromJson(R"({"msg":{"hdr":"h","item":["a"],"bank":"B","acct":"A","x":["1","2"]}})").empty());
}

}  // namespace
