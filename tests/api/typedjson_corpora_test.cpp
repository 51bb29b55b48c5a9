// Real messages through the typed JSON mapping: every document of the shared
// corpora goes XML -> JSON -> XML -> JSON with the two JSON texts equal, and
// the XML made from JSON is valid against its schema (one xmllint per
// schema). Each schema set is compiled once.
#include "apitestsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kCorpora = WF_CORPORA_DIR;
// The sanitizer build takes every WF_TYPED_CORPUS_SAMPLE-th document.
constexpr std::size_t kSample = WF_TYPED_CORPUS_SAMPLE;

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string rootNameOf(const std::string& text) {
  for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
    if (at + 1 >= text.size() || text[at + 1] == '?' || text[at + 1] == '!') continue;
    const std::size_t end = text.find_first_of(" \t\r\n/>", at + 1);
    const std::string name = text.substr(at + 1, end - at - 1);
    const std::size_t colon = name.find(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
  }
  return {};
}

std::string defaultNamespaceOf(const std::string& text) {
  const std::size_t start = text.find("xmlns=\"");
  if (start == std::string::npos) return {};
  return text.substr(start + 7, text.find('"', start + 7) - start - 7);
}

// The schemas a document is compiled with, and the one xmllint checks it against.
struct Pairing {
  std::vector<std::string> schemaSet;
  std::string validatingSchema;
};

struct Corpus {
  const char* label;
  const char* folder;
  const char* documents;
  Pairing (*pairing)(const fs::path& folder, const fs::path& document, const std::string& text);
};

Pairing fpml(const fs::path& folder, const fs::path&, const std::string&) {
  const std::string main = (folder / "schemas" / "fpml-main-5-11.xsd").string();
  return {{main}, main};
}

Pairing ubl(const fs::path& folder, const fs::path&, const std::string& text) {
  const std::string own = (folder / "schemas" / "maindoc" / ("UBL-" + rootNameOf(text) + "-2.1.xsd")).string();
  // A sample is cheaper with each document's own schema than with all of them.
  if (kSample > 1) return {{own}, own};
  static const std::vector<std::string> all = [&folder] {
    std::vector<std::string> schemas;
    for (const auto& entry : fs::directory_iterator(folder / "schemas" / "maindoc"))
      if (entry.path().extension() == ".xsd") schemas.push_back(entry.path().string());
    std::sort(schemas.begin(), schemas.end());
    return schemas;
  }();
  return {all, own};
}

Pairing camt(const fs::path& folder, const fs::path&, const std::string& text) {
  const std::string uri = defaultNamespaceOf(text);
  const std::size_t name = uri.find("xsd:");
  const std::string schema =
      (folder / "schemas" / ((name == std::string::npos ? uri : uri.substr(name + 4)) + ".xsd")).string();
  return {{schema}, schema};
}

Pairing sepa(const fs::path& folder, const fs::path& document, const std::string&) {
  const std::string schema = (folder / "schemas" / document.filename().replace_extension(".xsd")).string();
  return {{schema}, schema};
}

// Documents that do not make the whole trip, by path below the corpora folder.
const std::map<std::string, std::string> kExpectedFaults = {
    {"fpml-5.11-confirmation/examples/products/equity-swaps/eqs-ex07-long-form-with-stub.xml",
     "invalid as published (a URI 'http://http://...')"},
    {"iso20022-camt/messages/camt053.v2.wrong.xml", "invalid as published"},
    {"ubl-2.1/samples/UBL-Invoice-2.0-Enveloped.xml", "an xs:integer beyond 64 bits does not parse"},
    {"ubl-2.1/samples/UBL-Invoice-2.0-Detached-Signature.xml", "not a message of the document schemas"},
};


class TypedCorpus : public testing::TestWithParam<Corpus> {};

TEST_P(TypedCorpus, XmlToJsonAndBackGivesTheSameJsonAndValidXml) {
  const Corpus& corpus = GetParam();
  const fs::path folder = kCorpora / corpus.folder;
  if (!fs::exists(folder / corpus.documents)) GTEST_SKIP() << "corpus not present: " << folder;
  const bool validate = std::system("xmllint --version > /dev/null 2>&1") == 0;

  std::vector<fs::path> documents;
  for (const auto& entry : fs::recursive_directory_iterator(folder / corpus.documents))
    if (entry.path().extension() == ".xml") documents.push_back(entry.path());
  std::sort(documents.begin(), documents.end());

  const ScratchFolder scratch;
  std::map<std::vector<std::string>, wfxml::MessageSet> sets;  // compiled once per schema set
  std::map<std::string, std::vector<std::string>> toValidate;   // schema -> written files
  std::map<std::string, std::string> writtenFrom;                // written file -> document
  std::size_t converted = 0;
  for (std::size_t i = 0; i < documents.size(); i += kSample) {
    const fs::path& document = documents[i];
    const std::string relative = fs::relative(document, kCorpora).string();
    const bool faulty = kExpectedFaults.count(relative) != 0;
    const std::string text = readText(document);
    const Pairing pairing = corpus.pairing(folder, document, text);
    auto set = sets.find(pairing.schemaSet);
    if (set == sets.end()) set = sets.emplace(pairing.schemaSet, wfxml::MessageSet::compile(pairing.schemaSet)).first;
    wfxml::Session session(set->second);
    try {
      const std::string json = session.toJson(session.parse(text.data(), text.size()));
      const std::vector<std::uint8_t> xml = session.write(session.fromJson(json));
      const std::string again = session.toJson(session.parse(xml.data(), xml.size()));
      EXPECT_TRUE(again == json) << relative << ": the JSON differs after the trip through XML";
      const std::string written = scratch.write(std::to_string(i) + ".xml", textOf(xml));
      if (!faulty) {
        toValidate[pairing.validatingSchema].push_back(written);
        writtenFrom[written] = document.filename().string();
      }
      ++converted;
    } catch (const wfxml::Error& e) {
      if (!faulty) ADD_FAILURE() << relative << ": " << e.what();
    }
  }
  if (!validate) GTEST_SKIP() << "xmllint is not installed; " << converted << " documents converted";
  for (const auto& [schema, files] : toValidate) {
    std::string command = "xmllint --noout --schema '" + schema + "'";
    for (const std::string& file : files) command += " '" + file + "'";
    command += " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
      const std::string text = line;
      const std::size_t failed = text.find(" fails to validate");
      if (failed == std::string::npos) continue;
      ADD_FAILURE() << writtenFrom[text.substr(0, failed)] << " is not valid after the trip through JSON";
    }
    pclose(pipe);
  }
  std::printf("%s: %zu documents converted both ways\n", corpus.label, converted);
}

INSTANTIATE_TEST_SUITE_P(Corpora, TypedCorpus,
                         testing::Values(Corpus{"fpml", "fpml-5.11-confirmation", "examples", fpml},
                                         Corpus{"ubl", "ubl-2.1", "samples", ubl},
                                         Corpus{"camt", "iso20022-camt", "messages", camt},
                                         Corpus{"sepa", "iso20022-sepa", "messages", sepa}),
                         [](const testing::TestParamInfo<Corpus>& info) { return info.param.label; });

struct Example {
  const char* source;  // below examples/; empty: no dictionary
  std::vector<const char*> documents;
};

class TypedExample : public testing::TestWithParam<Example> {};

TEST_P(TypedExample, XmlToJsonAndBackGivesTheSameJson) {
  const fs::path examples = WF_EXAMPLES_DIR;
  const Example& example = GetParam();
  const wfxml::MessageSet set = *example.source ? wfxml::MessageSet::compile({(examples / example.source).string()})
                                                : wfxml::MessageSet::none();
  wfxml::Session session(set);
  for (const char* name : example.documents) {
    const std::string text = readText(examples / name);
    const std::string json = session.toJson(session.parse(text.data(), text.size()));
    const std::vector<std::uint8_t> xml = session.write(session.fromJson(json));
    EXPECT_EQ(session.toJson(session.parse(xml.data(), xml.size())), json) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, TypedExample,
                         testing::Values(Example{"payment/payment.xsd", {"payment/payment-1.xml"}},
                                         Example{"purchase-order/purchase-order.json",
                                                 {"purchase-order/order-1.xml", "purchase-order/order-2.xml",
                                                  "purchase-order/cancel-1.xml"}},
                                         Example{"inventory/inventory.json",
                                                 {"inventory/report-1.xml", "inventory/report-2.xml",
                                                  "inventory/report-3.xml"}},
                                         Example{"", {"order.xml"}}));

}  // namespace
