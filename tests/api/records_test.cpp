// Typed JSON records: each record as its part of the whole document's typed
// JSON, with its ancestors and their attributes and nothing else; from a
// file as from bytes.
#include "apitestsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kTyped = std::string(WF_TEST_DATA_DIR) + "/typed/";

const wfxml::MessageSet& typedSet() {
  static const wfxml::MessageSet set = wfxml::MessageSet::compile({kTyped + "typed.xsd"});
  return set;
}

std::vector<std::string> recordsOf(const std::string& xml, const std::string& record) {
  std::vector<std::string> lines;
  wfxml::Session session(typedSet());
  session.toJsonRecords(xml.data(), xml.size(), record,
                        [&](std::string_view json) { lines.emplace_back(json); });
  return lines;
}

struct RecordCase {
  const char* name;
  const char* record;
  std::vector<std::string> lines;  // the parts of the whole document's typed JSON (typedjson_test.cpp)
};

class Records : public testing::TestWithParam<RecordCase> {};

TEST_P(Records, AreTheirPartsOfTheWholeDocument) {
  EXPECT_EQ(recordsOf(readFileText(kTyped + "order.xml"), GetParam().record), GetParam().lines);
}

const std::string kParty1 = R"({"order":{"@id":"o-1","party":[{"@id":"p1","name":"Ann"}]}})";
const std::string kParty2 = R"({"order":{"@id":"o-1","party":[{"@xsi:type":"Company","name":"Bob Ltd","vat":"DE1"}]}})";

INSTANTIATE_TEST_SUITE_P(
    ByNameOrPath, Records,
    testing::Values(RecordCase{"Name", "party", {kParty1, kParty2}},
                    RecordCase{"ParentAndName", "order/party", {kParty1, kParty2}},
                    RecordCase{"WholePath", "/order/party", {kParty1, kParty2}},
                    RecordCase{"WholePathThatDoesNotStartAtTheMessage", "/party", {}},
                    RecordCase{"OtherParent", "other/party", {}},
                    // The ancestor keeps its attributes only, not its other members.
                    RecordCase{"ItsAncestorsKeepTheirAttributesOnly", "price",
                               {R"({"order":{"@id":"o-1","line":[{"price":{"@ccy":"EUR","$":12345678901234567.0123456}}]}})"}},
                    RecordCase{"AnAttributeIsNoRecord", "id", {}}, RecordCase{"Empty", "", {}}),
    [](const testing::TestParamInfo<RecordCase>& info) { return std::string(info.param.name); });

TEST(Records, TheMessageElementIsOneRecordWithTheWholeDocument) {
  const std::string xml = readFileText(kTyped + "order.xml");
  EXPECT_EQ(recordsOf(xml, "order"), std::vector<std::string>{typedSet().toJson(xml.data(), xml.size())});
}

TEST(Records, FromAFileAsFromBytes) {
  const std::string path = kTyped + "order.xml";
  std::vector<std::string> lines;
  wfxml::Session session(typedSet());
  session.toJsonRecordsFromFile(path, "party", [&](std::string_view json) { lines.emplace_back(json); });
  EXPECT_EQ(lines, (std::vector<std::string>{kParty1, kParty2}));
  try {
    session.toJsonRecordsFromFile(kTyped + "absent.xml", "party", [](std::string_view) {});
    FAIL() << "no error";
  } catch (const wfxml::Error& e) {
    EXPECT_NE(std::string(e.what()).find("absent.xml"), std::string::npos) << e.what();
  }
}

TEST(Records, ABadDocumentIsRefusedAfterTheRecordsBeforeTheFault) {
  const std::string xml = R"(<order xmlns="urn:test:typed" id="o-1"><party id="p1"><name>Ann</name></party><party>)";
  std::vector<std::string> lines;
  wfxml::Session session(typedSet());
  EXPECT_THROW(session.toJsonRecords(xml.data(), xml.size(), "party",
                                     [&](std::string_view json) { lines.emplace_back(json); }),
               wfxml::Error);
  EXPECT_EQ(lines, std::vector<std::string>{kParty1});
}

}  // namespace
