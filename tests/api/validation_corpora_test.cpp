// Real messages validated: every document of the shared corpora gets the
// verdict xmllint --schema gives it (one xmllint run per schema), against the
// schema tests/data/corpora.json pairs it with.
#include "apitestsupport.h"
#include "corpora/corpussupport.h"
#include "e2e/e2esupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class ValidatedCorpus : public testing::TestWithParam<Corpus> {};

TEST_P(ValidatedCorpus, EveryDocumentGetsXmllintsVerdict) {
  const Corpus& corpus = GetParam();
  if (!fs::is_directory(corpus.documents)) GTEST_SKIP() << "corpus not present: " << corpus.folder;
  if (!haveProgram("xmllint")) GTEST_SKIP() << "xmllint is not installed";
  std::map<std::string, std::vector<std::string>> bySchema;
  for (const fs::path& document : corpus.documentsOfShard(1, 0, kTypedCorpusSample)) {
    bySchema[corpus.pairing(document, readFileText(document)).validatingSchema].push_back(document.string());
  }
  for (const auto& [schema, files] : bySchema) {
    const wfxml::MessageSet set = wfxml::MessageSet::compile({schema});
    for (const auto& [file, verdict] : xmllintVerdicts(schema, files)) {
      const std::string text = readFileText(file);
      const std::vector<wfxml::ValidationError> problems = set.validate(text.data(), text.size());
      EXPECT_EQ(problems.empty(), verdict.valid)
          << nameBelowCorpora(file) << ": " << (problems.empty() ? "" : problems[0].message)
          << "\nxmllint: " << verdict.complaint;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Corpora, ValidatedCorpus, testing::ValuesIn(corpusFacts().corpora),
                         [](const testing::TestParamInfo<Corpus>& info) { return info.param.label; });

}  // namespace
