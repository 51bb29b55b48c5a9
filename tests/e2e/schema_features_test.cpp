// Documents parsed with the dictionary of tests/data/xsd/features.xsd, one
// schema construct after another: lists, unions, xsi:type extension and
// restriction, xsi:nil, mixed content, wildcards, attribute groups, and local
// declarations that match only in the namespace of their form. Each gives the
// tree events of its golden trace (documents/NAME.events, as
// `wfhost parse --events --dict` prints them) before and after a round trip.
#include "e2esupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct FeatureDocument {
  const char* name;  // documents/NAME.xml and documents/NAME.events
  bool schemaValid;  // false: breaks the schema on purpose
};

void PrintTo(const FeatureDocument& document, std::ostream* out) { *out << document.name; }

const FeatureDocument kDocuments[] = {
    // Attribute group, qualified attribute, list of int, union as decimal,
    // mixed text around unqualified elements, hexBinary, date, duration,
    // double, unsignedInt, NMTOKENS, an ##other wildcard element.
    {"order-plain", true},
    // xsi:type extension (with an attribute and a choice) and restriction,
    // xsi:nil, an empty list, union as token, base64Binary, INF.
    {"order-derived", true},
    // A wildcard-only type: a global element inside it is matched, an
    // unknown one starts an embedded message.
    {"envelope-any", true},
    {"envelope-foreign", true},
    // Elements and attributes in the namespace their form does not give them
    // are self-defining.
    {"forms-mismatched", false},
    {"attribute-forms", false},
};

std::string scratch(const std::string& name) {
  return std::string(WF_BINARY_DIR) + "/e2e-features-" + std::to_string(::getpid()) + "-" + name;
}

const std::string kSchema = testData("xsd/features.xsd");

class SchemaFeatures : public ::testing::TestWithParam<FeatureDocument> {
protected:
  static void SetUpTestSuite() {
    const CommandResult compiled = runWfhost({"compile", kSchema, "-o", dictionary()});
    ASSERT_EQ(compiled.status, 0) << compiled.err;
  }
  static void TearDownTestSuite() { std::remove(dictionary().c_str()); }
  static const std::string& dictionary() {
    static const std::string path = scratch("features.dict");
    return path;
  }
  static std::string document(const std::string& extension) {
    return testData(std::string("xsd/documents/") + GetParam().name + extension);
  }
  static std::vector<std::string> eventsOf(const std::string& path) {
    const CommandResult parsed = runWfhost({"parse", "--events", "--dict", dictionary(), path});
    EXPECT_EQ(parsed.status, 0) << parsed.err;
    return linesOf(parsed.out);
  }
};

TEST_P(SchemaFeatures, ParsesIntoTheGoldenEvents) {
  EXPECT_EQ(eventsOf(document(".xml")), linesOf(readFileText(document(".events"))));
}

TEST_P(SchemaFeatures, WrittenDocumentGivesTheSameEventsAndStaysValid) {
  const std::string written = scratch(std::string(GetParam().name) + ".xml");
  const CommandResult result = runWfhost({"roundtrip", "--dict", dictionary(), document(".xml"), "-o", written});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(eventsOf(written), eventsOf(document(".xml"))) << readFileText(written);

  if (GetParam().schemaValid && haveProgram("xmllint")) {
    for (const std::string& path : {document(".xml"), written}) {
      const CommandResult valid = runCommand("xmllint", {"--noout", "--schema", kSchema, path});
      EXPECT_EQ(valid.status, 0) << valid.err;
    }
  }
  std::remove(written.c_str());
}

INSTANTIATE_TEST_SUITE_P(Documents, SchemaFeatures, ::testing::ValuesIn(kDocuments),
                         [](const ::testing::TestParamInfo<FeatureDocument>& info) {
                           return testNameOf(info.param.name);
                         });

}  // namespace
