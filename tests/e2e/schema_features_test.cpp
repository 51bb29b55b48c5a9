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

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

struct FeatureDocument {
  const char* name;  // documents/NAME.xml and documents/NAME.events
  bool schemaValid;  // false: breaks the schema on purpose
  const char* schema = "features.xsd";
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
    // time, dateTime with an offset, the g-types, the smallest long, the
    // integer types beyond 64 bits with signs and leading zeros, a float in
    // exponent form, a boolean spelled 1, hexBinary in lower case.
    {"lexical-forms", true, "lexical.xsd"},
    // Values as a schema processor takes them (values.xsd): whitespace by
    // each type's facet, list items split at tabs and line ends, defaults
    // and fixed values supplied, xsi:nil on simple content with an
    // attribute, lexical forms that patterns pin, and an attribute that a
    // skipping wildcard leaves untyped.
    {"schema-values", true, "values.xsd"},
    // Whitespace around an int and an xsi:type value: valid, but libxml2
    // refuses it.
    {"whitespace-values", false, "values.xsd"},
    {"nil-root", true, "values.xsd"},
    // QName values keep the namespace of their prefix, wherever it was bound.
    {"qname-values", true, "qnames.xsd"},
    // No target namespace: xsi:type, xsi:nil and xml:lang still read.
    {"no-namespace", true, "no-namespace.xsd"},
    // Global elements as roots: a list (written with its separators), a list
    // of base64Binary (not hexBinary), and one that another refers to, in a
    // schema where every global element is referenced.
    {"list-root", true, "roots.xsd"},
    {"base64-list-root", true, "roots.xsd"},
    {"referenced-root", true, "roots.xsd"},
};

class SchemaFeatures : public ::testing::TestWithParam<FeatureDocument> {
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
  static std::string schema() { return testData(std::string("xsd/") + GetParam().schema); }
  static const std::string& dictionary() {
    std::string& path = dictionaries()[GetParam().schema];
    if (path.empty()) {
      path = scratch().file(std::string(GetParam().schema) + ".dict");
      const CommandResult compiled = runWfhost({"compile", schema(), "-o", path});
      EXPECT_EQ(compiled.status, 0) << compiled.err;
    }
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
  const std::string written = scratch().file(std::string(GetParam().name) + ".xml");
  const CommandResult result = runWfhost({"roundtrip", "--dict", dictionary(), document(".xml"), "-o", written});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(eventsOf(written), eventsOf(document(".xml"))) << readFileText(written);

  if (GetParam().schemaValid && haveProgram("xmllint")) {
    for (const std::string& path : {document(".xml"), written}) {
      const CommandResult valid = runCommand("xmllint", {"--noout", "--schema", schema(), path});
      EXPECT_EQ(valid.status, 0) << valid.err;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Documents, SchemaFeatures, ::testing::ValuesIn(kDocuments),
                         [](const ::testing::TestParamInfo<FeatureDocument>& info) {
                           return testNameOf(info.param.name);
                         });

}  // namespace
