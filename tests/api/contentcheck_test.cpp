// What the schema forbids in a message's content is refused before anything
// is written: from typed JSON naming the JSON path, from a tree built
// through the API naming the tree path; the checks may be turned off.
#include "apitestsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wfxml::MessageSet& paymentSet() {
  static const wfxml::MessageSet set = wfxml::MessageSet::compile({testData("api/payment-checks.xsd")});
  return set;
}

// Allowed: both branches of the repeating choice; an attribute beside a
// choice; one branch of a base's choice in its extension; one branch of a
// choice in mixed content (which the dictionary keeps without the choice).
const char kPayment[] =
    R"({"Payment":{"@Version":1,"Id":"P","Date":"2026-12-06","Amount":{"@Ccy":"EUR","$":1},"Ref":["a","b"],)"
    R"("Iban":"X","Note":["n"],"Tag":["t"],"Debtor":{"Name":"D"},)"
    R"("Interest":{"@id":"i1","floating":"EURIBOR","basis":"ACT"},"Key":{"$":[{"rsa":"r"}]}}})";

struct Forbidden {
  const char* name;
  const char* from;  // replaced in kPayment ...
  const char* to;    // ... by this
  const char* path;  // the error's inserts
  const char* what;  // null: the schema validator's message
  const char* json = kPayment;
  const wfxml::MessageSet& (*set)() = paymentSet;
};

class ForbiddenContent : public testing::TestWithParam<Forbidden> {};

TEST_P(ForbiddenContent, IsRefusedNamingItsJsonPath) {
  const Forbidden& forbidden = GetParam();
  std::string json = forbidden.json;
  const std::size_t at = json.find(forbidden.from);
  ASSERT_NE(at, std::string::npos) << forbidden.from;
  json.replace(at, std::string(forbidden.from).size(), forbidden.to);
  const wfxml::Error error = errorOf([&] { forbidden.set().fromJson(json); });
  EXPECT_EQ(error.key(), "CP_JSON_MISMATCH");
  ASSERT_EQ(error.inserts().size(), 2u) << error.what();
  EXPECT_EQ(error.inserts()[0], forbidden.path) << error.what();
  if (forbidden.what) {
    EXPECT_EQ(error.inserts()[1], forbidden.what);
  }
  // Unchecked, the same JSON is written as given.
  EXPECT_FALSE(forbidden.set().fromJson(json, checkedWrite(false)).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Payment, ForbiddenContent,
    testing::Values(
        Forbidden{"MissingElement", R"("Date":"2026-12-06",)", "", "$.Payment.Date", "required, but missing"},
        Forbidden{"MissingAttribute", R"({"@Ccy":"EUR","$":1})", "1", "$.Payment.Amount.@Ccy",
                  "required, but missing"},
        Forbidden{"MissingInNestedElement", R"({"Name":"D"})", "{}", "$.Payment.Debtor.Name", "required, but missing"},
        Forbidden{"TooFew", R"(["a","b"])", R"(["a"])", "$.Payment.Ref", "given 1 time, at least 2 required"},
        Forbidden{"TooMany", R"(["a","b"])", R"(["a","b","c","d"])", "$.Payment.Ref",
                  "given 4 times, at most 3 allowed"},
        Forbidden{"TwoBranches", R"("Iban":"X")", R"("Iban":"X","Bank":"B","Account":"A")", "$.Payment.Bank",
                  "an alternative to 'Iban': one choice, two branches given"},
        Forbidden{"TwoBranchesOfTheBase", R"("floating":"EURIBOR")", R"("fixed":1,"floating":"EURIBOR")",
                  "$.Payment.Interest.floating", "an alternative to 'fixed': one choice, two branches given"},
        Forbidden{"BranchIncomplete", R"("Iban":"X")", R"("Bank":"B")", "$.Payment.Account",
                  "required, but missing"},
        // An element's content is checked once it is built, before its parent's.
        Forbidden{"InnerProblemFirst", kPayment, R"({"Payment":{"Id":"P","Amount":{"$":1}}})",
                  "$.Payment.Amount.@Ccy", "required, but missing"}),
    [](const testing::TestParamInfo<Forbidden>& info) { return info.param.name; });

// Facets: the document written is checked against the schema, the element
// the validator names found again in the data.
INSTANTIATE_TEST_SUITE_P(
    Facets, ForbiddenContent,
    testing::Values(Forbidden{"Enumeration", R"(["a","b"])", R"(["a","x"])", "$.Payment.Ref[1]", nullptr},
                    Forbidden{"Pattern", R"("@Ccy":"EUR")", R"("@Ccy":"EURO")", "$.Payment.Amount", nullptr},
                    Forbidden{"Range", R"("@Version":1)", R"("@Version":10)", "$.Payment", nullptr},
                    Forbidden{"InMixedContent", R"({"rsa":"r"})", R"({"rsa":"rrrrrr"})", "$.Payment.Key.$[0].rsa",
                              nullptr}),
    [](const testing::TestParamInfo<Forbidden>& info) { return info.param.name; });

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

// A message-set source has no schema: its tables give the occurrences,
// choices and groups, and nothing checks the document written after them.
const wfxml::MessageSet& sourceSet() {
  static const wfxml::MessageSet set = wfxml::MessageSet::compile({testData("api/source-checks.json")});
  return set;
}

const char kSource[] = R"({"msg":{"hdr":"h","item":["a"],"iban":"I","street":"s","city":"c","x":["1"],"y":["2"]}})";

INSTANTIATE_TEST_SUITE_P(
    Source, ForbiddenContent,
    testing::Values(
        Forbidden{"TooMany", R"(["a"])", R"(["a","b","c"])", "$.msg.item", "given 3 times, at most 2 allowed", kSource,
                  sourceSet},
        Forbidden{"NoBranchOfARequiredChoice", R"("iban":"I",)", "", "$.msg.iban",
                  "one choice of 'iban', 'bank': required, but none given", kSource, sourceSet},
        Forbidden{"OptionalGroupIncomplete", R"(,"city":"c")", "", "$.msg.city", "required, but missing", kSource,
                  sourceSet},
        Forbidden{"RepeatingChoiceTooOften", R"("x":["1"])", R"("x":["1","3"])", "$.msg.x",
                  "one choice of 'x', 'y': given 3 times, at most 2 allowed", kSource, sourceSet},
        Forbidden{"RepeatingChoiceTooSeldom", R"(,"x":["1"],"y":["2"])", "", "$.msg.x",
                  "one choice of 'x', 'y': given 0 times, at least 1 required", kSource, sourceSet}),
    [](const testing::TestParamInfo<Forbidden>& info) { return info.param.name; });

TEST(ForbiddenContent, WhatASourcesTablesAllowIsWritten) {
  EXPECT_FALSE(sourceSet().fromJson(kSource).empty());
  EXPECT_FALSE(sourceSet().fromJson(R"({"msg":{"hdr":"h","item":["a"],"bank":"B","acct":"A","x":["1","2"]}})").empty());
}

}  // namespace
