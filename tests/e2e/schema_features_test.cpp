// Documents parsed with the dictionary of tests/data/xsd/features.xsd, one
// schema construct after another: lists, unions, xsi:type extension and
// restriction, xsi:nil, mixed content, wildcards, attribute groups, and local
// declarations that match only in the namespace of their form; and with that
// of lexical.xsd, the built-in types that must come back in their own
// lexical form; with values.xsd and no-namespace.xsd, values as a schema
// processor reads them; and with roots.xsd, global elements as document
// roots. Each gives the tree events of its golden trace
// (documents/NAME.events, as `wfhost parse --events --dict` prints them)
// before and after a round trip.
#include "e2esupport.h"
#include "testdata.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

class SchemaFeatures : public ::testing::TestWithParam<DataCase> {
protected:
  // Dictionaries and written documents, removed at the end of the program.
  static const ScratchFolder& scratch() {
    static const ScratchFolder folder;
    return folder;
  }
  // The dictionary of the document's schema, compiled once.
  static std::map<std::string, std::string>& dictionaries() {
    static std::map<std::string, std::string> paths;
    return paths;
  }
  static std::string schemaName() { return GetParam().fields.count("schema") ? GetParam()["schema"] : "features.xsd"; }
  static std::string schema() { return testData("xsd/" + schemaName()); }
  static const std::string& dictionary() {
    std::string& path = dictionaries()[schemaName()];
    if (path.empty()) {
      path = scratch().file(schemaName() + ".dict");
      const CommandResult compiled = runWfhost({"compile", schema(), "-o", path});
      EXPECT_EQ(compiled.status, 0) << compiled.err;
    }
    return path;
  }
  static std::string document(const std::string& extension) {
    return testData("xsd/documents/" + GetParam().label + extension);
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
  const std::string written = scratch().file(GetParam().label + ".xml");
  const CommandResult result = runWfhost({"roundtrip", "--dict", dictionary(), document(".xml"), "-o", written});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(eventsOf(written), eventsOf(document(".xml"))) << readFileText(written);

  if (!GetParam().fields.count("valid") && haveProgram("xmllint")) {
    for (const std::string& path : {document(".xml"), written}) {
      const CommandResult valid = runCommand("xmllint", {"--noout", "--schema", schema(), path});
      EXPECT_EQ(valid.status, 0) << valid.err;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Documents, SchemaFeatures, ::testing::ValuesIn(dataCases("xsd/documents/features.txt")),
                         [](const ::testing::TestParamInfo<DataCase>& info) {
                           return testNameOf(info.param.label);
                         });

}  // namespace
