#include "xsdimporter.h"

#include "messagesetcompiler.h"
#include "messagesetjson.h"
#include "schemarewrite.h"
#include "zelexception.h"
#include "host/test_support.h"
#include "paramname.h"
#include "testdata.h"

#include "deepschemas.h"
#include "smallthread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

using namespace msgset;

namespace {

const std::string kDataDir = std::string(WF_TEST_DATA_DIR) + "/xsd/";

XsdImportResult importData(const std::string& file, XsdImportOptions options = {}) {
  return importXmlSchemas({kDataDir + file}, options);
}

int elementNamed(const MessageSet& set, const std::string& name) {
  for (std::size_t i = 0; i < set.elements.size(); ++i) {
    if (set.elements[i].name == name) return static_cast<int>(i);
  }
  ADD_FAILURE() << "no global element " << name;
  return kNone;
}

// The member of that name in a type, looking into its group members as the
// parser does.
const MemberDef* findMember(const MessageSet& set, int type, const std::string& name) {
  for (const MemberDef& member : set.types.at(type).members) {
    const ElementDef* element = referencedElement(set, member);
    if ((element ? element->name : member.name) == name) return &member;
    if (member.form == MemberDef::Form::Group && member.type != kNone) {
      if (const MemberDef* inner = findMember(set, member.type, name)) return inner;
    }
  }
  return nullptr;
}

class IntegerTypeMapping : public ::testing::TestWithParam<std::tuple<std::string, ELogicalType>> {};

TEST_P(IntegerTypeMapping, SchemaAndSourceGiveTheSameLogicalType) {
  static const MessageSet imported = importData("lexical.xsd").set;
  const auto& [name, logical] = GetParam();
  const MemberDef* member = findMember(imported, imported.elements[elementNamed(imported, "values")].type, name);
  ASSERT_NE(member, nullptr);
  EXPECT_EQ(effectiveLogicalType(imported, memberType(imported, *member)), logical) << "schema";

  const MessageSet source = parseMessageSetJson(
      R"({"name": "S", "types": [{"name": "T", "base": ")" + name + R"("}]})", "s.json");
  EXPECT_EQ(effectiveLogicalType(source, 0), logical) << "source";
}

const auto kTypeName = [](const auto& info) { return std::get<0>(info.param); };
INSTANTIATE_TEST_SUITE_P(Decimals, IntegerTypeMapping,
                         ::testing::Combine(::testing::Values("integer", "nonNegativeInteger", "positiveInteger",
                                                              "nonPositiveInteger", "negativeInteger", "unsignedLong"),
                                            ::testing::Values(eLogicalDecimal)), kTypeName);
INSTANTIATE_TEST_SUITE_P(Integers, IntegerTypeMapping,
                         ::testing::Combine(::testing::Values("long", "int", "short", "byte", "unsignedInt",
                                                              "unsignedShort", "unsignedByte"),
                                            ::testing::Values(eLogicalInteger)), kTypeName);

// How each construct of features.xsd maps (member order, forms, extensions,
// compositions) is pinned end to end by the golden events of its documents
// (e2e schema_features_test). A target namespace keeps the document's
// prefix; with or without one, namespaces are on for xsi:nil; a properties
// file overrides the defaults it names.
TEST(XsdImporterOptions, NamespacesNilEncodingAndPropertiesFile) {
  const MessageSet set = importData("features.xsd").set;
  ASSERT_FALSE(set.namespaces.empty());
  EXPECT_EQ(set.namespaces[0].uri, "urn:test:features");
  EXPECT_EQ(set.namespaces[0].preferredPrefix, "f");
  const XsdImportResult unqualified = importData("no-namespace.xsd");
  EXPECT_TRUE(unqualified.warnings.empty() && unqualified.mappingWarnings.empty())
      << ::testing::PrintToString(unqualified.warnings) << ::testing::PrintToString(unqualified.mappingWarnings);
  XsdImportOptions options;
  options.propertiesFile = kDataDir + "props.json";
  const MessageSet overridden = importData("features.xsd", options).set;
  EXPECT_EQ(overridden.xml.booleanTrueValue, "Y");
  EXPECT_EQ(overridden.xml.rootTagName, "Batch");
  for (const MessageSet* each : {&set, &unqualified.set, &overridden}) {
    EXPECT_TRUE(namespacesEnabled(*each));
    EXPECT_EQ(each->xml.nullNumEncoding, NullEncoding::XsiNil);
    EXPECT_EQ(each->xml.nullNonNumEncoding, NullEncoding::XsiNil);
  }
}

bool anyContains(const std::vector<std::string>& warnings, const std::string& part, const std::string& other = "") {
  return std::any_of(warnings.begin(), warnings.end(), [&](const std::string& warning) {
    return warning.find(part) != std::string::npos && warning.find(other) != std::string::npos;
  });
}

// The warnings of partial.xsd, read on its own and through a document that
// includes it, name file, line and component and say how it is treated, one
// line per kind.
TEST(XsdImporterWarnings, NameFileLineAndComponentAndSayHowItIsTreated) {
  for (const char* file : {"partial.xsd", "partial-including.xsd"}) {
    const std::vector<std::string> warnings = importData(file).mappingWarnings;
    EXPECT_EQ(warnings.size(), 2u) << ::testing::PrintToString(warnings);
    for (const auto& [component, treatment] :
         {std::pair{"line 11, element 'circle'", "global elements, not in the place of their head (and 1 more: element 'square')"},
          std::pair{"line 13, element 'catalog'", "not checked"}})
      EXPECT_TRUE(anyContains(warnings, std::string("/partial.xsd: ") + component, treatment))
          << file << ": " << component << " in:\n" << ::testing::PrintToString(warnings);
  }
}

// The built-in list types, used directly and restricted, are lists of
// their item types, and compile.
TEST(XsdImporterBuiltinLists, AreListsOfTheirItemTypesAndCompile) {
  const MessageSet set = importData("builtin-lists.xsd").set;
  const int type = set.elements[elementNamed(set, "names")].type;
  for (const auto& [name, item] : {std::pair{"tokens", "NMTOKEN"}, {"refs", "IDREF"}, {"entities", "ENTITY"}}) {
    const MemberDef* member = findMember(set, type, name);
    ASSERT_NE(member, nullptr) << name;
    const int itemType = set.types.at(memberType(set, *member)).listItemType;
    ASSERT_NE(itemType, kNone) << name;
    EXPECT_EQ(set.types.at(itemType).name, item);
  }
  EXPECT_NO_THROW(compileMessageSetToExtract(set, "lists"));
}

TEST(XsdImporterMessages, SubstitutionGroupMembersAreNoMessages) {
  const MessageSet set = importData("partial.xsd").set;
  EXPECT_EQ(effectiveClass(set, set.elements[elementNamed(set, "catalog")]), ElementClass::Message);
  const ElementDef& circle = set.elements[elementNamed(set, "circle")];
  EXPECT_EQ(effectiveClass(set, circle), ElementClass::Field);
  EXPECT_EQ(circle.substitutionGroup, elementNamed(set, "shape"));
  EXPECT_TRUE(set.elements[elementNamed(set, "shape")].isAbstract);
}

// Each wildcard's processContents reaches its open type: the type's own
// when the wildcard is all of its content, else its group member's; mixed
// content (xs:anyType too, which is lax) keeps its text runs around a group.
// The cases: tests/data/xsd/wildcard-types.txt.
class XsdImporterWildcards : public ::testing::TestWithParam<DataCase> {};

TEST_P(XsdImporterWildcards, CarryProcessContents) {
  static const char* const kCompositions[] = {"Empty", "Sequence", "Choice", "All", "SimpleContent", "Mixed",
                                              "OrderedMixed", "Open"};
  static const char* const kContents[] = {"Strict", "Lax", "Skip"};
  static const MessageSet set = importData("wildcards.xsd").set;
  const TypeDef& type = set.types.at(set.elements[elementNamed(set, GetParam().label)].type);
  EXPECT_EQ(kCompositions[static_cast<int>(effectiveComposition(type))], GetParam()["composition"]);
  // Down the groups (a repeating sequence is one) to the wildcard's.
  const TypeDef* open = &type;
  for (bool deeper = true; deeper;) {
    const auto group = std::find_if(open->members.begin(), open->members.end(),
                                    [](const MemberDef& member) { return member.form == MemberDef::Form::Group; });
    deeper = group != open->members.end();
    if (deeper) open = &set.types.at(group->type);
  }
  ASSERT_EQ(effectiveComposition(*open), Composition::Open);
  EXPECT_EQ(kContents[static_cast<int>(open->processContents)], GetParam()["contents"]);
}

INSTANTIATE_TEST_SUITE_P(Kinds, XsdImporterWildcards, ::testing::ValuesIn(dataCases("xsd/wildcard-types.txt")),
                         [](const auto& info) { return info.param.label; });

// An import is read with its importer, and naming the imported document as
// well (in either order) changes nothing; a namespace imported without a
// location is the given document's, named before or after its importer.
class XsdImporterDocumentSets : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(XsdImporterDocumentSets, ImportsJoinTheSet) {
  std::vector<std::string> paths;
  for (const std::string& file : GetParam()) paths.push_back(kDataDir + file);
  const MessageSet set = importXmlSchemas(paths, {}).set;
  std::vector<std::string> messages;
  for (const ElementDef& element : set.elements) {
    if (effectiveClass(set, element) == ElementClass::Message) messages.push_back(element.name);
  }
  EXPECT_EQ(messages, std::vector<std::string>{"invoice"});
  std::map<std::string, std::string> prefixes;
  for (const NamespaceDef& ns : set.namespaces) prefixes[ns.uri] = ns.preferredPrefix;
  EXPECT_EQ(prefixes["urn:test:main"], "ns1");  // bound only as the default namespace
  EXPECT_TRUE(prefixes["urn:test:common"] == "c" || prefixes["urn:test:common"] == "cm");
  const MemberDef* total = findMember(set, set.elements[elementNamed(set, "invoice")].type, "total");
  ASSERT_NE(total, nullptr);
  EXPECT_EQ(effectiveLogicalType(set, total->type), eLogicalDecimal);
  EXPECT_EQ(set.namespaces[set.types[total->type].namespaceIndex].uri, "urn:test:common");
}

INSTANTIATE_TEST_SUITE_P(Orders, XsdImporterDocumentSets,
                         ::testing::Values(std::vector<std::string>{"main.xsd"},
                                           std::vector<std::string>{"main.xsd", "common.xsd"},
                                           std::vector<std::string>{"common.xsd", "main.xsd"},
                                           std::vector<std::string>{"main-unlocated.xsd", "common.xsd"}),
                         ReadableName());

// Nothing is fetched: an import by http URL is read from the local file an
// XML catalog maps it to (given, or named by XML_CATALOG_FILES); unmapped,
// the error names the location and how to map it. The mapped common.xsd
// imports the XML namespace without a location, which reads that
// namespace's own document (not the referrer's folder URL).
TEST(XsdImporterCatalogs, MapHttpImportsToLocalFiles) {
  const std::string catalog = kDataDir + "catalog.xml";
  unsetenv("XML_CATALOG_FILES");
  const ZelFatalException e = raisedBy<ZelFatalException>([&] { importData("remote-main.xsd"); });
  EXPECT_NE(e.insertText(2).find("http://schemas.example.invalid/common/common.xsd"), std::string::npos)
      << e.insertText(2);
  EXPECT_NE(e.insertText(2).find("--catalog"), std::string::npos) << e.insertText(2);

  XsdImportOptions options;
  options.catalogFiles = {catalog};
  const MessageSet set = importData("remote-main.xsd", options).set;
  const MemberDef* total = findMember(set, set.elements[elementNamed(set, "invoice")].type, "total");
  ASSERT_NE(total, nullptr);
  EXPECT_EQ(effectiveLogicalType(set, total->type), eLogicalDecimal);
  // The imported documents are kept under their own locations, as validation finds them.
  std::vector<std::string> remote;
  for (const SchemaDocument& document : set.schemaDocuments)
    if (document.location.rfind("http://", 0) == 0) remote.push_back(document.location);
  EXPECT_EQ(remote, (std::vector<std::string>{"http://schemas.example.invalid/common/common.xsd",
                                              kXmlNamespaceSchemaLocation}));

  setenv("XML_CATALOG_FILES", ("file://" + catalog).c_str(), 1);
  EXPECT_NO_THROW(importData("remote-main.xsd"));
  unsetenv("XML_CATALOG_FILES");
}

// Hyphens that stand for themselves in a pattern's character class, and a
// maxOccurs beyond 32 bits, are spelt as Xerces-C takes them.
TEST(XsdImporterReaderLimits, AreWorkedAround) {
  const XsdImportResult result = importData("reader-limits.xsd");
  EXPECT_TRUE(anyContains(result.warnings, "maxOccurs 4294967296 is read as unbounded"));
  const std::string& kept = result.set.schemaDocuments.at(0).bytes;
  EXPECT_NE(kept.find(R"([+\-]?[\-0-9]+|[a-z\--[b-y]]|[^\-])"), std::string::npos) << kept;
}

// Each tag is searched for its attributes alone: a document of many tags
// without maxOccurs was searched to its end from each (hours for this one).
TEST(XsdImporterReaderLimits, RewriteReadsEachTagOnce) {
  std::string document = "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>";
  for (int i = 0; i < 1000000; ++i) document += "<xs:element name='e'/>";
  const std::string tail = "<xs:element maxOccurs='4294967296'/><xs:pattern value='[+-]'/></xs:schema>";
  std::vector<std::string> notes;
  const std::string rewritten = rewriteForSchemaReader(document + tail, notes);
  EXPECT_EQ(rewritten, document + "<xs:element maxOccurs='unbounded'/><xs:pattern value='[+\\-]'/></xs:schema>");
  EXPECT_EQ(notes.size(), 1u);
}

// text's units (below U+10000) in UTF-16 or UTF-32 (width 2 or 4), either byte order.
std::string inUnicodeForm(std::u16string_view text, int width, bool bigEndian) {
  std::string bytes;
  for (const char16_t unit : text)
    for (int i = 0; i < width; ++i) bytes += static_cast<char>(unit >> (8 * (bigEndian ? width - 1 - i : i)) & 0xFF);
  return bytes;
}

// A schema document's external DTD subset is not read (Xerces-C's loader
// kept a declaration of it each time, a leak): the external identifier is
// left out, the internal subset kept. A document in UTF-16 or UTF-32 is made
// UTF-8 first (it was left as it was, the id with it), its declaration
// naming UTF-8 in as many characters; one broken in its encoding stays.
TEST(XsdImporterReaderLimits, ExternalDtdSubsetsAreNotRead) {
  const std::u16string declared = u"<?xml version='1.0' encoding='UTF-16'?>\n<!DOCTYPE s SYSTEM 'x.dtd'><s>\u00E9</s>";
  const std::string read = "<?xml version='1.0' encoding='UTF-8' ?>\n<!DOCTYPE s><s>\xC3\xA9</s>";
  const std::string broken = inUnicodeForm(u"<!DOCTYPE s SYSTEM 'x.dtd'><s>\xD800</s>", 2, false);
  for (const auto& [document, read] : std::vector<std::pair<std::string, std::string>>{
           {"<?xml version='1.0'?><!-- a --><!DOCTYPE xs:schema PUBLIC \"-//W3C//DTD\" 'XMLSchema.dtd' [<!ENTITY e 'v'>]><s/>",
            "<?xml version='1.0'?><!-- a --><!DOCTYPE xs:schema [<!ENTITY e 'v'>]><s/>"},
           {"<!DOCTYPE s SYSTEM \"x.dtd\" ><s/>", "<!DOCTYPE s ><s/>"},
           {"<!DOCTYPE s [<!ENTITY e SYSTEM 'x.ent'>]><s/>", "<!DOCTYPE s [<!ENTITY e SYSTEM 'x.ent'>]><s/>"},
           {"<s/><!DOCTYPE s SYSTEM 'x.dtd'>", "<s/><!DOCTYPE s SYSTEM 'x.dtd'>"},
           {inUnicodeForm(u"\uFEFF" + declared, 2, false), read}, {inUnicodeForm(declared, 2, true), read},
           {inUnicodeForm(u"\uFEFF" + declared, 4, true), read}, {inUnicodeForm(declared, 4, false), read},
           {inUnicodeForm(u"\uFEFF<!DOCTYPE s SYSTEM 'x.dtd'><s/>", 2, true), "<!DOCTYPE s><s/>"}, {broken, broken}}) {
    std::vector<std::string> notes;
    EXPECT_EQ(rewriteForSchemaReader(document, notes), read);
  }
}

// Xerces-C reads a component, and each it names, within the one before on
// its stack (20,000 types each holding an element of the next overflowed
// it; 10,000 nested anonymous types overflowed the mapper's), and some
// chains cost it more than their length (1,000 extensions took minutes).
// Each row's documents, made for a chain of n, compile at taken and are
// refused at taken + 1, at the component named, before Xerces-C reads them.
struct SchemaChain {
  std::string label;
  std::function<std::vector<std::pair<std::string, std::string>>(int n)> documents;  // the root first
  int taken;
  std::string place, component, what;
};

std::string schemaOf(const std::string& body, const std::string& attributes = "") {
  return "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'" + attributes + ">\n" + body + "</xs:schema>\n";
}

// n + 1 components, one a line, link(i) the i-th.
std::vector<std::pair<std::string, std::string>> single(const std::string& body) { return {{"chain.xsd", schemaOf(body)}}; }

// Model groups G0 to Gn, each holding the next twice: G0 expands to 2^n.
std::string doublingGroups(int n) {
  return linesOf(n, [n](int i) {
    const std::string next = "<xs:group ref='G" + std::to_string(i + 1) + "'/>";
    return "<xs:group name='G" + std::to_string(i) + "'><xs:sequence>" + (i < n ? next + next : "<xs:element name='x'/>") +
           "</xs:sequence></xs:group>";
  });
}

const SchemaChain kSchemaChains[] = {
    {"NestedAnonymousTypes",
     [](int n) {
       std::string nested = "<xs:element name='e'/>";
       for (int i = 0; i < n; ++i)
         nested = "<xs:element name='e'><xs:complexType><xs:sequence>" + nested + "</xs:sequence></xs:complexType></xs:element>";
       return single(nested + "\n");
     },
     332, "line 2, column", "", "its elements nest more than 1000 deep"},
    // The mapper refused types nested 1,000 deep, how deep depending on the
    // order the schema model lists them (1,500 refused, 3,000 taken).
    {"TypesEachHoldingTheNext",
     [](int n) {
       return single(linesOf(n, [n](int i) {
         return "<xs:complexType name='T" + std::to_string(i) + "'>" +
                (i < n ? "<xs:sequence><xs:element name='e' type='T" + std::to_string(i + 1) + "' minOccurs='0'/></xs:sequence>"
                       : "") +
                "</xs:complexType>";
       }));
     },
     9999, "line 2, column", "in complexType 'T0'", "its elements nest more than 30000 deep"},
    {"IncludedDocuments",
     [](int n) {
       std::vector<std::pair<std::string, std::string>> documents;
       for (int i = 0; i <= n; ++i) {
         const std::string next = i < n ? "<xs:include schemaLocation='d" + std::to_string(i + 1) + ".xsd'/>\n" : "";
         documents.emplace_back(i ? "d" + std::to_string(i) + ".xsd" : "chain.xsd", schemaOf(next));
       }
       return documents;
     },
     999, "line 1, column", "in schema", "it leads through more than 1000 schema documents"},
    {"Extensions",
     [](int n) {
       return single(linesOf(n, [](int i) {
         return "<xs:complexType name='T" + std::to_string(i) + "'><xs:complexContent><xs:extension base='" +
                (i ? "T" + std::to_string(i - 1) : "xs:anyType") + "'/></xs:complexContent></xs:complexType>";
       }));
     },
     99, "line 102, column", "in complexType 'T100'", "it leads through more than 100 base types, each extending the next"},
    {"ModelGroups",
     [](int n) {
       return single(linesOf(n, [n](int i) {
         return "<xs:group name='G" + std::to_string(i) + "'><xs:sequence><xs:element name='g'/>" +
                (i < n ? "<xs:group ref='G" + std::to_string(i + 1) + "'/>" : "") + "</xs:sequence></xs:group>";
       }));
     },
     453, "line 2, column", "in group 'G0'", "the content models hold more than 103640 particles in all"},
    {"ModelGroupReferences",
     [](int n) {
       return single(linesOf(n, [n](int i) {
         return "<xs:group name='G" + std::to_string(i) + "'><xs:sequence>" +
                (i < n ? "<xs:group ref='G" + std::to_string(i + 1) + "'/>" : "<xs:element name='g'/>") +
                "</xs:sequence></xs:group>";
       }));
     },
     499, "line 2, column", "in group 'G0'", "it leads through more than 500 model groups"},
    {"AttributeGroups",
     [](int n) {
       return single(linesOf(n, [n](int i) {
         return "<xs:attributeGroup name='A" + std::to_string(i) + "'>" +
                (i < n ? "<xs:attributeGroup ref='A" + std::to_string(i + 1) + "'/>" : "") + "</xs:attributeGroup>";
       }));
     },
     299, "line 2, column", "in attributeGroup 'A0'", "it leads through more than 300 attribute groups"},
    {"SubstitutionGroupHeads",
     [](int n) {
       return single(linesOf(n, [](int i) {
         return "<xs:element name='E" + std::to_string(i) + "'" +
                (i ? " substitutionGroup='E" + std::to_string(i - 1) + "'" : "") + "/>";
       }));
     },
     299, "line 302, column", "in element 'E300'", "leads through more than 300 elements, each in the substitution group"},
    {"ModelGroupsExpanded",
     [](int n) {
       return single(doublingGroups(n) + "<xs:element name='root'><xs:complexType><xs:group ref='G0'/></xs:complexType></xs:element>\n");
     },
     10, "line 2, column", "in group 'G0'", "its content holds more than 2000 particles"},
    {"ModelGroupsExpandedInAll",
     [](int n) {
       return single(doublingGroups(10) + linesOf(n - 1, [](int i) {
                       return "<xs:complexType name='T" + std::to_string(i) + "'><xs:group ref='G0'/></xs:complexType>";
                     }));
     },
     95, "line 2, column", "in group 'G0'", "the content models hold more than 100008 particles in all"},
    // Element references from a document without a target namespace, which
    // takes its includer's, and back by its prefix.
    {"ElementRefsThroughAnInclude",
     [](int n) {
       const auto element = [](int i, const std::string& next) {
         return "<xs:element name='E" + std::to_string(i) + "'><xs:complexType><xs:sequence><xs:element ref='" + next +
                std::to_string(i + 1) + "' minOccurs='0'/></xs:sequence></xs:complexType></xs:element>";
       };
       return std::vector<std::pair<std::string, std::string>>{
           {"chain.xsd", schemaOf("<xs:include schemaLocation='part.xsd'/>\n" +
                                      linesOf(n, [&](int i) { return i % 2 ? "" : element(i, "a:E"); }) +
                                      "<xs:element name='E" + std::to_string(n + 1) + "'/>\n",
                                  " targetNamespace='urn:a' xmlns:a='urn:a'")},
           {"part.xsd", schemaOf(linesOf(n, [&](int i) { return i % 2 ? element(i, "E") : ""; }))}};
     },
     7498, "line 3, column", "in element 'E0'", "its elements nest more than 30000 deep"},
    // Elements referenced in another namespace, and back.
    {"ElementRefsThroughAnImport",
     [](int n) {
       const auto element = [](int i, const std::string& next) {
         return "<xs:element name='E" + std::to_string(i) + "'><xs:complexType><xs:sequence><xs:element ref='" + next +
                std::to_string(i + 1) + "' minOccurs='0'/></xs:sequence></xs:complexType></xs:element>";
       };
       const std::string namespaces = " xmlns:a='urn:a' xmlns:b='urn:b'";
       const auto document = [&](const char* other, const char* at, int parity, const char* prefix) {
         return schemaOf(std::string("<xs:import namespace='urn:") + other + "' schemaLocation='" + at + "'/>\n" +
                             linesOf(n, [&](int i) { return i % 2 == parity ? element(i, prefix) : ""; }) +
                             "<xs:element name='E" + std::to_string(n + 1) + "'/>\n",
                         std::string(" targetNamespace='urn:") + (parity ? "b'" : "a'") + namespaces);
       };
       return std::vector<std::pair<std::string, std::string>>{{"chain.xsd", document("b", "other.xsd", 0, "b:E")},
                                                               {"other.xsd", document("a", "chain.xsd", 1, "a:E")}};
     },
     7498, "line 3, column", "in element 'E0'", "its elements nest more than 30000 deep"},
};

// A folder of this process's own: runs of other builds share the temporary
// folder, and one removing its folder under another failed that one.
std::string ownTempFolder(const std::string& name) {
  return ::testing::TempDir() + name + "-" + std::to_string(getpid()) + "/";
}

class XsdImporterChainBounds : public ::testing::TestWithParam<SchemaChain> {};

TEST_P(XsdImporterChainBounds, RefuseTheChainPastTheBoundAtItsComponent) {
  const SchemaChain& chain = GetParam();
  const std::string folder = ownTempFolder("chain-" + chain.label);
  std::filesystem::create_directories(folder);
  const auto compile = [&](int n) {
    for (const auto& [name, text] : chain.documents(n)) std::ofstream(folder + name) << text;
    return importXmlSchemas({folder + chain.documents(n).front().first}, {});
  };
  EXPECT_NO_THROW(compile(chain.taken));
  const ZelFatalException e = raisedBy<ZelFatalException>([&] { compile(chain.taken + 1); });
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_DICTIONARY_SOURCE_ERROR);
  EXPECT_NE(e.insertText(0).find(chain.documents(0).front().first), std::string::npos) << e.insertText(0);
  EXPECT_EQ(e.insertText(1).rfind(chain.place, 0), 0u) << e.insertText(1);
  EXPECT_NE(e.insertText(1).find(chain.component), std::string::npos) << e.insertText(1);
  EXPECT_NE(e.insertText(2).find(chain.what), std::string::npos) << e.insertText(2);
  std::filesystem::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(Generated, XsdImporterChainBounds, ::testing::ValuesIn(kSchemaChains),
                         [](const auto& info) { return info.param.label; });

// A FHIR-like set of resources, each containing any of them through a
// container type, which the loader reads a few levels deep, was refused for
// its circle (its members counted one after the other, 3,166 levels); and
// a chain of 5,000 referenced elements overflowed a 2 MB thread's stack,
// as Python and Dask workers may have, in the loader. All compile there.
TEST(XsdImporter, DeepAndCircularSchemasCompileOnASmallThread) {
  std::string resources = "<xs:complexType name='Container'><xs:choice>";
  for (int i = 0; i < 150; ++i) resources += "<xs:element ref='R" + std::to_string(i) + "'/>";
  resources += "</xs:choice></xs:complexType>\n";
  for (int i = 0; i < 150; ++i) {
    const std::string r = "R" + std::to_string(i);
    resources += "<xs:element name='" + r + "' type='" + r + "'/><xs:complexType name='" + r + "'><xs:sequence>";
    for (int j = 0; j < 5; ++j)
      resources += "<xs:element name='b" + std::to_string(j) + "' type='" + r + "B" + std::to_string(j) + "' minOccurs='0'/>";
    resources += "<xs:element name='contained' type='Container' minOccurs='0'/></xs:sequence></xs:complexType>\n";
    for (int j = 0; j < 5; ++j)
      resources += "<xs:complexType name='" + r + "B" + std::to_string(j) + "'><xs:sequence><xs:element name='part' type='" +
                   r + "B" + std::to_string(j) + "' minOccurs='0'/><xs:element name='resource' type='Container' "
                   "minOccurs='0'/></xs:sequence></xs:complexType>\n";
  }
  const std::string referenced = referencedElementChain(5000);
  // Unions each a member of the next were refused 1,000 deep.
  const std::string unions = unionChain(3000, "root");
  const std::string folder = ownTempFolder("deep-schemas");
  std::filesystem::create_directories(folder);
  for (const auto& [name, body] :
       {std::pair{"resources.xsd", resources}, {"referenced.xsd", referenced}, {"unions.xsd", unions}}) {
    std::ofstream(folder + name) << schemaOf(body);
    std::string failure;
    ASSERT_TRUE(runOnSmallThread([&, &name = name] {
      try {
        importXmlSchemas({folder + name}, {});
      } catch (const ZelException& e) {
        failure = e.what();
      }
    }));
    EXPECT_EQ(failure, "") << name;
  }
  std::filesystem::remove_all(folder);
}

// The cases: tests/data/xsd/import-errors.txt.
class XsdImporterErrors : public ::testing::TestWithParam<DataCase> {};

TEST_P(XsdImporterErrors, NameTheFileAndThePlace) {
  const DataCase& c = GetParam();
  XsdImportOptions options;
  if (c.fields.count("messages")) options.messages = {c["messages"]};
  const ZelFatalException e = raisedBy<ZelFatalException>([&] { importData(c["file"], options); });
  EXPECT_EQ(e.getMessageNumber(), ZelMessages::CP_DICTIONARY_SOURCE_ERROR);
  if (c["place"] != "message") {
    EXPECT_NE(e.insertText(0).find(c["file"]), std::string::npos);
  }
  EXPECT_EQ(e.insertText(1).rfind(c["place"], 0), 0u) << e.insertText(1);
  EXPECT_NE(e.insertText(1).find(c["component"]), std::string::npos) << e.insertText(1);
  EXPECT_FALSE(e.insertText(2).empty());
  if (c.fields.count("what")) {
    EXPECT_NE(e.insertText(2).find(c["what"]), std::string::npos) << e.insertText(2);
  }
}

INSTANTIATE_TEST_SUITE_P(Schemas, XsdImporterErrors, ::testing::ValuesIn(dataCases("xsd/import-errors.txt")),
                         [](const auto& info) { return info.param.label; });

}  // namespace
