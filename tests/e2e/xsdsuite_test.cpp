// The W3C XML Schema test suite (the tests of XSD 1.0 and 1.1), run through
// the library inside this program: every valid schema of XSD 1.0 compiles
// into a dictionary (1.1's may not: Xerces-C reads XSD 1.0), and every
// instance of a compiled schema that the validator accepts, whatever the
// suite expects,
// - parses;
// - is written, and parses again into the same typed events (the start
//   record aside: the writer takes the XML declaration from the message set);
// - is written schema-valid wherever libxml2, the oracle, accepts the
//   original (the schema parsed once per group).
// Schemas and documents that a fault not fixed yet or a limit stops are
// listed in tests/data/xsdsuite.json by step and reason; a listed case that
// passes, or fails at another step, fails the test until its entry goes.
// The suite's test groups are dealt into shards, one test each, which ctest
// runs in parallel; WF_XSDSUITE_SAMPLE takes every N-th group of a shard.
// The shared archive is extracted into the build tree; without it the tests
// skip.
#include "corpora/corpussupport.h"
#include "corpora/xsdsuite.h"
#include "e2esupport.h"
#include "testdata.h"
#include "treeroundtrip.h"

#include "stddictionaryinfo.h"
#include "wfxml/host.h"
#include "wfxml/wfxml.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr int kShards = 4;
constexpr std::size_t kSuiteGroupSample = WF_XSDSUITE_SAMPLE;

void ignoreLibxml2(void*, xmlErrorPtr) {}

const XsdSuite* sharedSuite() {
  // libxml2's reports (warnings on the suite's relative namespace names,
  // say) would bury the test's own; its verdicts are what counts.
  xmlSetStructuredErrorFunc(nullptr, ignoreLibxml2);
  static const std::optional<XsdSuite> suite = loadXsdSuite(fs::path(WF_BINARY_DIR) / "xsdtests", XsdSuiteScope::everyTest);
  return suite ? &*suite : nullptr;
}

// tests/data/xsdsuite.json: "known": step -> reason -> the groups
// (compile) or instances (later steps: parse, write, round trip, validate)
// that fail there; "noOracle": reason -> the groups whose schema libxml2
// cannot take (it loops on some).
struct KnownCases {
  std::map<std::string, KnownTreeFault> byName;
  std::map<std::string, std::string> oracleless;  // with why
};

const KnownCases& knownCases() {
  static const KnownCases cases = [] {
    KnownCases read;
    const nlohmann::json json = nlohmann::json::parse(readFileText(testData("xsdsuite.json")));
    for (const auto& [step, reasons] : json.at("known").items())
      for (const auto& [reason, names] : reasons.items())
        for (const std::string name : names) read.byName[name] = {step, reason};
    for (const auto& [reason, names] : json.at("noOracle").items())
      for (const std::string name : names) read.oracleless[name] = reason;
    return read;
  }();
  return cases;
}

// libxml2 as the judge of schema validity: one schema, parsed once, for
// many documents.
class SchemaOracle {
public:
  // Without schemas, with the reason why none is given.
  explicit SchemaOracle(const std::string& reason) : unready_(reason) {}
  explicit SchemaOracle(const std::vector<fs::path>& schemas) : unready_("libxml2 refuses the schema") {
    xmlSchemaParserCtxtPtr parser = nullptr;
    if (schemas.size() == 1) {
      parser = xmlSchemaNewParserCtxt(schemas.front().c_str());
    } else {
      wrapper_ = wrapperOf(schemas);
      parser = xmlSchemaNewMemParserCtxt(wrapper_.data(), static_cast<int>(wrapper_.size()));
    }
    xmlSchemaSetParserStructuredErrors(parser, ignoreLibxml2, nullptr);
    schema_ = xmlSchemaParse(parser);
    xmlSchemaFreeParserCtxt(parser);
  }
  ~SchemaOracle() { xmlSchemaFree(schema_); }
  SchemaOracle(const SchemaOracle&) = delete;
  SchemaOracle& operator=(const SchemaOracle&) = delete;

  bool ready() const { return schema_ != nullptr; }
  const std::string& whyNotReady() const { return unready_; }

  // Empty when the document is valid, else the first complaint.
  std::optional<std::string> complaint(const std::vector<std::uint8_t>& bytes, const std::string& url) const {
    xmlDocPtr document = xmlReadMemory(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                                       url.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!document) return std::string("libxml2 cannot read it");
    xmlSchemaValidCtxtPtr validator = xmlSchemaNewValidCtxt(schema_);
    std::string first;
    xmlSchemaSetValidStructuredErrors(validator, keepFirst, &first);
    const int status = xmlSchemaValidateDoc(validator, document);
    xmlSchemaFreeValidCtxt(validator);
    xmlFreeDoc(document);
    if (status == 0) return std::nullopt;
    return first.empty() ? "libxml2 status " + std::to_string(status) : first;
  }

private:
  static void keepFirst(void* first, xmlErrorPtr error) {
    auto& text = *static_cast<std::string*>(first);
    if (text.empty() && error && error->message) text = error->message;
  }

  // A schema that brings in several schema documents: those with a target
  // namespace imported, those without included.
  static std::string wrapperOf(const std::vector<fs::path>& schemas) {
    std::string text = "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>";
    for (const fs::path& schema : schemas) {
      const std::string target = xsdTargetNamespace(schema);
      text += target.empty() ? "<xs:include schemaLocation='" + schema.string() + "'/>"
                             : "<xs:import namespace='" + target + "' schemaLocation='" + schema.string() + "'/>";
    }
    return text + "</xs:schema>";
  }
  std::string unready_;
  std::string wrapper_;
  xmlSchemaPtr schema_ = nullptr;
};

struct Figures {
  std::size_t validSchemas = 0, compiled = 0;
  std::size_t xsd11Refused = 0;  // schemas of XSD 1.1 alone that do not compile
  std::size_t instances = 0, taken = 0, parsed = 0, roundTripped = 0;  // taken: those the validator accepts
  std::size_t oracleAccepts = 0, writtenValid = 0;
  std::size_t unvalidated = 0;  // groups whose schemas the validator refuses
  std::map<std::string, std::size_t> notJudged;  // instances not validated, by reason
};

// A document of the generated datatype cases (below).
struct GeneratedDocument {
  std::string name;  // "generated/ELEMENT/VARIANT"
  std::string text;
  std::string readsAs = {};  // a document listed before that this one must read the same as, if any
};

// Runs the cases of one shard and judges them against the known list.
class SuiteRun {
public:
  void group(const XsdSuiteGroup& group) {
    ++figures_.validSchemas;
    const std::optional<wfxml::MessageSet> set = compile(group.schemas, group.name, group.xsd10);
    if (!set) return;
    figures_.instances += group.instances.size();
    if (group.instances.empty() || !validatorTakes(*set)) return;
    std::unique_ptr<SchemaOracle> oracle;
    for (const XsdSuiteInstance& instance : group.instances) {
      const std::vector<std::uint8_t> bytes = readBytes(instance.document.string());
      if (!set->validate(bytes.data(), bytes.size()).empty()) continue;  // the validation suite test judges verdicts
      ++figures_.taken;
      if (!oracle) oracle = oracleOf(group);
      this->instance(instance.name, bytes, instance.document.string(), *set, *oracle);
    }
  }

  // Cases made here: one schema, compiled once, and the documents of its
  // global elements.
  void generated(const fs::path& schema, const std::vector<GeneratedDocument>& documents) {
    figures_.validSchemas = 1;
    const std::optional<wfxml::MessageSet> set = compile({schema}, "generated", true);
    if (!set) return;
    const SchemaOracle oracle(std::vector<fs::path>{schema});
    std::map<std::string, std::string> trees;  // by document, as first parsed
    for (const GeneratedDocument& document : documents) {
      ++figures_.instances;
      ++figures_.taken;
      std::string& tree = trees[document.name];
      tree = instance(document.name, std::vector<std::uint8_t>(document.text.begin(), document.text.end()),
                      schema.string(), *set, oracle);
      const auto same = trees.find(document.readsAs);
      if (same == trees.end() || tree.empty()) continue;
      const std::string difference = treeDifference(same->second, tree);
      if (!difference.empty()) judge_.failures.push_back(document.name + " does not read as " + document.readsAs + ": " + difference);
    }
  }

  const std::vector<std::string>& failures() const { return judge_.failures; }

  std::string summary() const {
    const Figures& f = figures_;
    std::ostringstream out;
    out << f.compiled << " of " << f.validSchemas << " valid schemas compiled (" << f.xsd11Refused
        << " of the rest of XSD 1.1 alone); " << f.instances << " instances of theirs, " << f.taken
        << " taken: " << f.parsed << " parsed, "
        << f.roundTripped << " round-tripped, " << f.writtenValid << " of " << f.oracleAccepts
        << " written schema-valid where libxml2 accepts the original\n";
    if (f.unvalidated) out << "  " << f.unvalidated << " schemas' instances not taken: the validator refuses the schema\n";
    for (const auto& [reason, count] : f.notJudged) out << "  " << count << " not validated: " << reason << "\n";
    for (const auto& [reason, count] : judge_.known) out << "  " << count << " known to fail to " << reason << "\n";
    return out.str();
  }

private:
  // None when the schemas do not compile; only XSD 1.0's must.
  std::optional<wfxml::MessageSet> compile(const std::vector<fs::path>& schemas, const std::string& name, bool xsd10) {
    std::optional<wfxml::MessageSet> set;
    std::string problem;
    try {
      set = wfxml::MessageSet::compile(std::vector<std::string>(schemas.begin(), schemas.end()));
    } catch (const wfxml::Error& e) {
      problem = e.what();
    }
    if (!xsd10 && !set) {
      ++figures_.xsd11Refused;
    } else {
      figures_.compiled += judge_.judge(name, problem.empty() ? "" : "compile", problem);
    }
    return set;
  }

  // The validator's grammar, which refuses some schemas the compiler takes
  // (the validation suite test counts them).
  bool validatorTakes(const wfxml::MessageSet& set) {
    try {
      set.validate("", 0);
      return true;
    } catch (const wfxml::Error&) {
      ++figures_.unvalidated;
      return false;
    }
  }

  std::unique_ptr<SchemaOracle> oracleOf(const XsdSuiteGroup& group) {
    const auto oracleless = knownCases().oracleless.find(group.name);
    return oracleless == knownCases().oracleless.end() ? std::make_unique<SchemaOracle>(group.schemas)
                                                        : std::make_unique<SchemaOracle>(oracleless->second);
  }

  // Round trip, then validation where libxml2 can judge; the tree as first
  // parsed, once the written document parses.
  std::string instance(const std::string& name, const std::vector<std::uint8_t>& original, const std::string& url,
                       const wfxml::MessageSet& set, const SchemaOracle& oracle) {
    MessageTree first;
    RoundTripResult trip = roundTrip(original, wfxml::host::dictionary(set), first, false);
    figures_.parsed += trip.failedStep != "parse";
    if (trip.failedStep.empty()) {
      ++figures_.roundTripped;
      if (!oracle.ready()) {
        ++figures_.notJudged[oracle.whyNotReady()];
      } else if (oracle.complaint(original, url)) {
        ++figures_.notJudged["libxml2 refuses the original"];
      } else if (++figures_.oracleAccepts; const auto complaint = oracle.complaint(trip.written, url)) {
        trip.failedStep = "validate";
        trip.problem = "libxml2 refuses the written document: " + *complaint;
      } else {
        ++figures_.writtenValid;
      }
    }
    judge_.judge(name, trip.failedStep, trip.problem);
    return trip.firstJson;
  }

  Figures figures_;
  KnownFaultJudge judge_{knownCases().byName};
};

// ---------------------------------------------------------------------------
// The suite's datatype sets in small, generated here: a global element per
// built-in type, atomic and list, with facets, and valid values in unusual
// lexical forms (blanks around them, signs, exponents, leading zeros, list
// items separated by tabs and line ends, empty lists, defaults). One schema
// holds them all; each of its global elements is the root of its documents.
// The values are in tests/data/xsd/generated-datatypes.json: "builtins",
// valid lexical forms of each built-in type (none holding a blank: they make
// lists); "facets", restricted types and values they take; "defaults",
// elements with a default or fixed value and the value.
constexpr const char* kGeneratedNamespace = "urn:generated";

class DatatypeTable {
public:
  DatatypeTable() {
    const nlohmann::json table = nlohmann::json::parse(readFileText(testData("xsd/generated-datatypes.json")));
    for (const nlohmann::json& builtin : table.at("builtins")) {
      const std::string name = builtin.at("type");
      const std::vector<std::string> values = builtin.at("values");
      const std::string type = "xs:" + name;
      const std::string atomic = "atomic." + name;
      declare(atomic, "type='" + type + "'");
      std::size_t n = 0;
      for (const std::string& value : values) {
        document(atomic, std::to_string(n), value);
        document(atomic, std::to_string(n++) + "-blanks", std::string("\n\t ") + value + " \n");
      }
      const std::string list = "list." + name;
      declareSimple(list, "<xs:restriction><xs:simpleType><xs:list itemType='" + type +
                              "'/></xs:simpleType><xs:maxLength value='10'/></xs:restriction>");
      document(list, "blanks", join(values, " "));
      document(list, "tabs", "\n\t" + join(values, "\t\n ") + "\r\n");
      document(list, "empty", "");
      // boolean takes no enumeration; an ENTITY one names an entity no schema declares.
      if (type == "xs:boolean" || type == "xs:ENTITY") continue;
      const std::string enumeration = "enumeration." + name;
      std::string facets;
      for (const std::string& value : values) facets += "<xs:enumeration value='" + value + "'/>";
      declareSimple(enumeration, restriction(type, facets));
      document(enumeration, "last", values.back());
    }
    for (const nlohmann::json& facet : table.at("facets")) {
      const std::string name = "facet." + facet.at("name").get<std::string>();
      declareSimple(name, restriction(facet.at("base"), facet.at("facets")));
      std::size_t n = 0;
      for (const std::string value : facet.at("values")) document(name, std::to_string(n++), value);
    }
    std::size_t n = 0;
    for (const nlohmann::json& constrained : table.at("defaults")) {
      const std::string constraint = constrained.at("constraint"), value = constrained.at("value");
      const std::string name = constraint + "." + std::to_string(n++);
      declare(name, "type='" + constrained.at("type").get<std::string>() + "' " + constraint + "='" + value + "'");
      // Empty, the element takes its default or fixed value.
      document(name, "given", value);
      document(name, "empty", "", "given");
      documents_.push_back({"generated/" + name + "/self-closing", start(name) + "/>", "generated/" + name + "/given"});
    }
    for (const char* type : {"NMTOKENS", "IDREFS", "ENTITIES"}) {
      const std::string name = std::string("builtin-list.") + type;
      declare(name, std::string("type='xs:") + type + "'");
    }
    document("builtin-list.NMTOKENS", "tabs", " -1\t2:3\n a ");
    document("builtin-list.IDREFS", "blanks", " id1  id2 ");
    document("builtin-list.ENTITIES", "blanks", " pic\tpic ");
  }

  std::string schema() const { return dataText("xsd/generated-datatypes.xsd", {{"@DECLARATIONS@", declarations_}}); }
  const std::vector<GeneratedDocument>& documents() const { return documents_; }

private:
  static std::string join(const std::vector<std::string>& values, const char* separator) {
    std::string text;
    for (const std::string& value : values) text += (text.empty() ? "" : separator) + value;
    return text;
  }
  static std::string restriction(const std::string& base, const std::string& facets) {
    return "<xs:restriction base='" + base + "'>" + facets + "</xs:restriction>";
  }
  // A global element with the given attributes (its type, a default).
  void declare(const std::string& name, const std::string& attributes) {
    declarations_ += "<xs:element name='" + name + "' " + attributes + "/>\n";
  }
  // A global element of an anonymous simple type.
  void declareSimple(const std::string& name, const std::string& simpleType) {
    declarations_ += "<xs:element name='" + name + "'><xs:simpleType>" + simpleType + "</xs:simpleType></xs:element>\n";
  }
  // The entities of the ENTITY values, and the namespaces of the QName ones.
  static std::string start(const std::string& name) {
    return "<?xml version='1.0'?>\n<!DOCTYPE g:" + name +
           " [<!NOTATION png SYSTEM 'png'><!ENTITY pic SYSTEM 'pic.png' NDATA png>]>\n<g:" + name + " xmlns:g='" +
           kGeneratedNamespace + "' xmlns:xs='http://www.w3.org/2001/XMLSchema'";
  }
  void document(const std::string& name, const std::string& variant, const std::string& content,
                const std::string& readsAs = {}) {
    documents_.push_back({"generated/" + name + "/" + variant, start(name) + ">" + content + "</g:" + name + ">",
                          readsAs.empty() ? std::string() : "generated/" + name + "/" + readsAs});
  }

  std::string declarations_;
  std::vector<GeneratedDocument> documents_;
};

class XsdSuiteShard : public ::testing::TestWithParam<int> {};

TEST_P(XsdSuiteShard, ValidSchemasCompileAndAcceptedInstancesRoundTripSchemaValid) {
  const XsdSuite* suite = sharedSuite();
  if (!suite) GTEST_SKIP() << "the W3C XML Schema test suite is not at " << sharedXsdSuiteFolder() << "; nothing to test";
  SuiteRun run;
  std::size_t index = 0, inShard = 0;
  for (const XsdSuiteGroup& group : suite->groups) {
    if (!group.schemaValid || index++ % kShards != static_cast<std::size_t>(GetParam())) continue;
    if (inShard++ % kSuiteGroupSample == 0) run.group(group);
  }
  for (const std::string& failure : run.failures()) ADD_FAILURE() << failure;
  std::cout << "shard " << GetParam() + 1 << " of " << kShards << ": " << run.summary() << std::flush;
}

INSTANTIATE_TEST_SUITE_P(Shards, XsdSuiteShard, ::testing::Range(0, kShards),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::to_string(info.param + 1) + "of" + std::to_string(kShards);
                         });

// Needs no shared material: the schema is written into the build tree.
TEST(XsdSuiteGenerated, DatatypeValuesRoundTripSchemaValid) {
  const DatatypeTable table;
  const fs::path schema = fs::path(WF_BINARY_DIR) / "xsdsuite-generated.xsd";
  std::ofstream(schema) << table.schema();
  xmlSetStructuredErrorFunc(nullptr, ignoreLibxml2);
  SuiteRun run;
  run.generated(schema, table.documents());
  for (const std::string& failure : run.failures()) ADD_FAILURE() << failure;
  std::cout << "generated datatype cases: " << run.summary() << std::flush;
}

// Every listed case names a test of the suite that runs, so that no entry
// outlives its case.
TEST(XsdSuiteKnownCases, NameCasesOfTheSuite) {
  const XsdSuite* suite = sharedSuite();
  if (!suite) GTEST_SKIP() << "the W3C XML Schema test suite is not at " << sharedXsdSuiteFolder() << "; nothing to test";
  std::set<std::string> names;
  for (const XsdSuiteGroup& group : suite->groups) {
    if (!group.schemaValid) continue;
    names.insert(group.name);
    for (const XsdSuiteInstance& instance : group.instances) names.insert(instance.name);
  }
  const DatatypeTable generated;
  for (const GeneratedDocument& document : generated.documents()) names.insert(document.name);
  for (const auto& [name, known] : knownCases().byName) EXPECT_TRUE(names.count(name)) << name << " (" << known.reason << ")";
  for (const auto& [name, reason] : knownCases().oracleless) EXPECT_TRUE(names.count(name)) << name << " (" << reason << ")";
}

}  // namespace
