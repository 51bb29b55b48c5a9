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
// that its entry goes when the fault does. tests/data/corpora.json pairs
// the documents with their schemas and lists the originals their schemas
// refuse and the known faults. Without the corpora the tests skip.
#include "corpusrun.h"
#include "e2esupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Every WF_CORPUS_SAMPLE-th document of a shard (tests/CMakeLists.txt).
constexpr std::size_t kCorpusSample = WF_CORPUS_SAMPLE;

struct Shard {
  const Corpus* corpus;
  int index;
};

std::vector<Shard> allShards() {
  std::vector<Shard> shards;
  for (const Corpus& corpus : corpusFacts().corpora)
    for (int index = 0; index < corpus.shards; ++index) shards.push_back({&corpus, index});
  return shards;
}

std::string labelOf(const Shard& shard) {
  if (shard.corpus->shards == 1) return shard.corpus->label;
  return shard.corpus->label + "_" + std::to_string(shard.index + 1) + "of" +
         std::to_string(shard.corpus->shards);
}

void PrintTo(const Shard& shard, std::ostream* out) { *out << labelOf(shard); }

class CorpusDocuments : public ::testing::TestWithParam<Shard> {};

TEST_P(CorpusDocuments, ParseMatchedRoundTripAndStaySchemaValid) {
  const Corpus& corpus = *GetParam().corpus;
  if (!fs::is_directory(corpus.documents))
    GTEST_SKIP() << "the corpus is not at " << corpus.folder << "; nothing to test";

  CorpusRun run(corpus, fs::path(WF_BINARY_DIR) / ("corpus-" + labelOf(GetParam()) + "-" + std::to_string(::getpid())));
  const std::vector<fs::path> documents = corpus.documentsOfShard(corpus.shards, GetParam().index, kCorpusSample);
  ASSERT_FALSE(documents.empty()) << "no documents in " << corpus.documents;
  for (const fs::path& document : documents) run.process(document);
  if (haveProgram("xmllint")) {
    run.validate();
  } else {
    run.skipValidation("xmllint is not installed");
  }
  const CorpusOutcome outcome = run.judge();
  for (const std::string& failure : outcome.failures) ADD_FAILURE() << failure;
  // Namespaces are declared once, on the root: the written documents stay
  // about as large as the (indented) originals.
  EXPECT_LE(outcome.writtenBytes, outcome.originalBytes + outcome.originalBytes / 10);
  std::cout << labelOf(GetParam()) << ": " << outcome.summary() << std::flush;
}

INSTANTIATE_TEST_SUITE_P(Corpora, CorpusDocuments, ::testing::ValuesIn(allShards()),
                         [](const ::testing::TestParamInfo<Shard>& info) { return labelOf(info.param); });

}  // namespace
