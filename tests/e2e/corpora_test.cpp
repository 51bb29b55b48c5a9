// Real business documents with the XML Schemas they follow, from the shared
// corpora: FpML confirmation messages, UBL business documents, ISO 20022
// cash-management and payment messages. Run through the plug-in inside this
// program, each document
// - parses with the dictionary of its schema set, every element matched
//   except content under wildcards (an original that its schema refuses may
//   hold more unmatched elements);
// - parses, writes and parses again into the same tree, the start record
//   aside (the writer takes the XML declaration from the message set);
// - is written as XML that xmllint finds schema-valid, wherever the original
//   is valid.
// Each schema set is imported and compiled once per program; the documents
// of a large corpus are dealt into shards, one test each, which ctest runs
// in parallel. Documents hit by faults not fixed yet are listed with the
// step they fail and why; a listed document that passes fails the test, so
// that its entry goes when the fault does. Without the corpora the tests
// skip.
#include "corpusrun.h"
#include "e2esupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kCorpora = WF_CORPORA_DIR;

// Every WF_CORPUS_SAMPLE-th document of a shard (tests/CMakeLists.txt).
constexpr std::size_t kSample = WF_CORPUS_SAMPLE;

// The first element's local name in a document's text.
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

// The value of the first default namespace declaration in a document's text.
std::string defaultNamespaceOf(const std::string& text) {
  const std::string declaration = "xmlns=\"";
  const std::size_t start = text.find(declaration);
  if (start == std::string::npos) return {};
  const std::size_t value = start + declaration.size();
  return text.substr(value, text.find('"', value) - value);
}

// FpML: every message of the view follows the view's main schema.
SchemaPairing fpmlPairing(const fs::path& folder, const fs::path&, const std::string&) {
  const std::string main = (folder / "schemas" / "fpml-main-5-11.xsd").string();
  return {{main}, main};
}

// UBL: one dictionary from all document schemas, which share their
// components (the document types differ by namespace; each sample parses
// into the same tree as with its own schema's dictionary, ids aside, and the
// set compiles once instead of 39 times); xmllint takes the schema named
// after the root element. A detached signature is no UBL
// document: it goes with the signature schema alone, where its root is a
// message (in the document schemas, which refer to it, it is not).
SchemaPairing ublPairing(const fs::path& folder, const fs::path&, const std::string& text) {
  const std::string root = rootNameOf(text);
  if (root == "Signature") {
    const std::string signature = (folder / "schemas" / "common" / "UBL-xmldsig-core-schema-2.1.xsd").string();
    return {{signature}, signature};
  }
  static const std::vector<std::string> all = [&folder] {
    std::vector<std::string> schemas;
    for (const auto& entry : fs::directory_iterator(folder / "schemas" / "maindoc"))
      if (entry.path().extension() == ".xsd") schemas.push_back(entry.path().string());
    std::sort(schemas.begin(), schemas.end());
    return schemas;
  }();
  return {all, (folder / "schemas" / "maindoc" / ("UBL-" + root + "-2.1.xsd")).string()};
}

// ISO 20022 cash management: the schema named in the default namespace
// ("urn:iso:std:iso:20022:tech:xsd:camt.053.001.02").
SchemaPairing camtPairing(const fs::path& folder, const fs::path&, const std::string& text) {
  const std::string uri = defaultNamespaceOf(text);
  const std::size_t name = uri.find("xsd:");
  const std::string schema =
      (folder / "schemas" / ((name == std::string::npos ? uri : uri.substr(name + 4)) + ".xsd")).string();
  return {{schema}, schema};
}

// ISO 20022 payments: each message is named after its schema.
SchemaPairing sepaPairing(const fs::path& folder, const fs::path& document, const std::string&) {
  const std::string schema = (folder / "schemas" / document.filename().replace_extension(".xsd")).string();
  return {{schema}, schema};
}

const Corpus kFpml{"fpml", "fpml-5.11-confirmation", "examples", 4, fpmlPairing};
const Corpus kUbl{"ubl", "ubl-2.1", "samples", 1, ublPairing};
const Corpus kCamt{"camt", "iso20022-camt", "messages", 1, camtPairing};
const Corpus kSepa{"sepa", "iso20022-sepa", "messages", 1, sepaPairing};

// Originals that their schemas refuse, as the corpora's READMEs say (paths
// below the corpora folder). Their written form is not validated, and they
// may hold elements the schemas do not declare.
const std::map<std::string, std::string> kInvalidOriginals = {
    {"fpml-5.11-confirmation/examples/products/equity-swaps/eqs-ex07-long-form-with-stub.xml",
     "a URI attribute value 'http://http://...'"},
    {"iso20022-camt/messages/camt053.v2.wrong.xml", "a test case of its source, deliberately invalid"},
};

// Documents that faults not fixed yet stop at a step, and why.
const std::map<std::string, KnownFault> kKnownFaults = {};

struct Shard {
  const Corpus* corpus;
  int index;
};

std::vector<Shard> allShards() {
  std::vector<Shard> shards;
  for (const Corpus* corpus : {&kFpml, &kUbl, &kCamt, &kSepa})
    for (int index = 0; index < corpus->shards; ++index) shards.push_back({corpus, index});
  return shards;
}

std::string labelOf(const Shard& shard) {
  if (shard.corpus->shards == 1) return shard.corpus->label;
  return std::string(shard.corpus->label) + "_" + std::to_string(shard.index + 1) + "of" +
         std::to_string(shard.corpus->shards);
}

void PrintTo(const Shard& shard, std::ostream* out) { *out << labelOf(shard); }

class CorpusDocuments : public ::testing::TestWithParam<Shard> {};

TEST_P(CorpusDocuments, ParseMatchedRoundTripAndStaySchemaValid) {
  const Corpus& corpus = *GetParam().corpus;
  const fs::path folder = kCorpora / corpus.folder;
  if (!fs::is_directory(folder / corpus.documents))
    GTEST_SKIP() << "the corpus is not at " << folder << "; nothing to test";

  CorpusRun run(corpus, kCorpora, fs::path(WF_BINARY_DIR) / ("corpus-" + labelOf(GetParam()) + "-" +
                                                               std::to_string(::getpid())));
  const std::vector<fs::path> documents = documentsOfShard(folder / corpus.documents, corpus.shards,
                                                           GetParam().index, kSample);
  ASSERT_FALSE(documents.empty()) << "no documents in " << folder / corpus.documents;
  for (const fs::path& document : documents) run.process(document);
  if (haveProgram("xmllint")) {
    run.validate();
  } else {
    run.skipValidation("xmllint is not installed");
  }
  const CorpusOutcome outcome = run.judge(kInvalidOriginals, kKnownFaults);
  for (const std::string& failure : outcome.failures) ADD_FAILURE() << failure;
  std::cout << labelOf(GetParam()) << ": " << outcome.summary() << std::flush;
}

INSTANTIATE_TEST_SUITE_P(Corpora, CorpusDocuments, ::testing::ValuesIn(allShards()),
                         [](const ::testing::TestParamInfo<Shard>& info) { return labelOf(info.param); });

}  // namespace
