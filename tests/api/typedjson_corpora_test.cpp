// Real messages through the typed JSON mapping: every document of the shared
// corpora goes XML -> JSON -> XML -> JSON with the two JSON texts equal and
// the elements of the two documents alike in order, names and namespaces, and
// the XML made from JSON is valid against its schema wherever the original
// is (one xmllint per schema). Each schema set is compiled once. The
// documents' schemas and known faults are those of tests/data/corpora.json;
// a listed document that makes the trip fails the test.
#include "apitestsupport.h"
#include "corpora/corpussupport.h"
#include "e2e/e2esupport.h"
#include "paramname.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Each element's depth, namespace and name, in document order.
std::vector<std::string> elementsInOrder(wfxml::Session& session, const void* bytes, std::size_t size) {
  std::vector<std::string> elements;
  session.parse(bytes, size, [&](const wfxml::Event& e) {
    if (e.kind == wfxml::EventKind::StartElement && !e.isAttribute)  // attributes are in no order
      elements.push_back(std::to_string(e.depth) + "{" + std::string(e.namespaceUri) + "}" + std::string(e.name));
  });
  return elements;
}

class TypedCorpus : public testing::TestWithParam<Corpus> {};

TEST_P(TypedCorpus, XmlToJsonAndBackGivesTheSameJsonAndValidXml) {
  const Corpus& corpus = GetParam();
  if (!fs::is_directory(corpus.documents)) GTEST_SKIP() << "corpus not present: " << corpus.folder;
  const CorpusFacts& facts = corpusFacts();

  const ScratchFolder scratch;
  std::map<std::vector<std::string>, wfxml::MessageSet> sets;  // compiled once per schema set
  std::map<std::string, std::vector<std::string>> toValidate;   // schema -> written files
  std::map<std::string, std::string> writtenFrom;                // written file -> document
  std::size_t converted = 0;
  for (const fs::path& document : corpus.documentsOfShard(1, 0, kTypedCorpusSample)) {
    const std::string name = nameBelowCorpora(document);
    const std::string text = readFileText(document);
    SchemaPairing pairing = corpus.pairing(document, text);
    // A sample is cheaper with each document's own schema than with all of them.
    if (kTypedCorpusSample > 1) pairing.schemaSet = {pairing.validatingSchema};
    auto set = sets.find(pairing.schemaSet);
    if (set == sets.end()) set = sets.emplace(pairing.schemaSet, wfxml::MessageSet::compile(pairing.schemaSet)).first;
    wfxml::Session session(set->second);
    const auto known = facts.typedFaults.find(name);
    try {
      const std::string json = typedJson(session.messageSet(), text.data(), text.size());
      if (known != facts.typedFaults.end()) {
        EXPECT_EQ(errorOf([&] { session.fromJson(json); }).key(), "CP_JSON_MISMATCH")
            << name << " is listed as refused on the way back (" << known->second << ")";
        continue;
      }
      // What the schema refuses is refused on the way back too, unless unchecked.
      const bool check = !facts.invalidOriginals.count(name);
      const std::vector<std::uint8_t> xml = session.write(session.fromJson(json, {check}), checkedWrite(check));
      const std::string again = typedJson(session.messageSet(), xml.data(), xml.size());
      EXPECT_TRUE(again == json) << name << ": the JSON differs after the trip through XML";
      // JSON that reads back the same may still hide elements reordered or moved to another namespace.
      EXPECT_TRUE(elementsInOrder(session, text.data(), text.size()) == elementsInOrder(session, xml.data(), xml.size()))
          << name << ": the elements differ in order, name or namespace after the trip through JSON";
      const std::string written = scratch.write(std::to_string(converted) + ".xml", textOf(xml));
      if (!facts.invalidOriginals.count(name)) {
        toValidate[pairing.validatingSchema].push_back(written);
        writtenFrom[written] = name;
      }
      ++converted;
    } catch (const wfxml::Error& e) {
      ADD_FAILURE() << name << ": " << e.what();
    }
  }
  if (!haveProgram("xmllint")) GTEST_SKIP() << "xmllint is not installed; " << converted << " documents converted";
  for (const auto& [schema, files] : toValidate)
    for (const auto& [file, verdict] : xmllintVerdicts(schema, files))
      EXPECT_TRUE(verdict.valid) << writtenFrom[file] << " is not valid after the trip through JSON:\n"
                                 << verdict.complaint;
  std::printf("%s: %zu documents converted both ways\n", corpus.label.c_str(), converted);
}

INSTANTIATE_TEST_SUITE_P(Corpora, TypedCorpus, testing::ValuesIn(corpusFacts().corpora), ReadableName());

// Every example document, with its folder's message set (<folder>.json or
// <folder>.xsd; none for those at the top), the same way.
TEST(TypedExamples, XmlToJsonAndBackGivesTheSameJson) {
  std::size_t converted = 0;
  for (const auto& entry : fs::recursive_directory_iterator(WF_EXAMPLES_DIR)) {
    if (entry.path().extension() != ".xml") continue;
    const std::string stem = (entry.path().parent_path() / entry.path().parent_path().filename()).string();
    const std::string source = fs::exists(stem + ".json") ? stem + ".json" : stem + ".xsd";
    wfxml::Session session(fs::exists(source) ? wfxml::MessageSet::compile({source}) : wfxml::MessageSet::none());
    const std::string text = readFileText(entry.path());
    const std::string json = typedJson(session.messageSet(), text.data(), text.size());
    const std::vector<std::uint8_t> xml = session.write(session.fromJson(json));
    EXPECT_EQ(typedJson(session.messageSet(), xml.data(), xml.size()), json) << entry.path();
    ++converted;
  }
  EXPECT_EQ(converted, 8u);
}

}  // namespace
