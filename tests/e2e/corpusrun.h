#ifndef TESTS_E2E_CORPUSRUN_H
#define TESTS_E2E_CORPUSRUN_H

// Runs the documents of a real corpus through the plug-in with the
// dictionaries of their XML Schemas (parse, every element matched, write,
// parse again, the written XML validated by xmllint), then judges the
// outcomes against the documents known to fail, and counts.

#include "corpora/corpussupport.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

struct CorpusOutcome {
  std::vector<std::string> failures;  // one text per document that fails unexpectedly
  std::size_t documents = 0;
  std::size_t parsed = 0;
  std::size_t matched = 0;           // parsed with no element outside wildcards left self-defining
  std::size_t wildcardElements = 0;  // self-defining elements under wildcards, outermost ones
  std::size_t roundTripped = 0;
  std::size_t originalBytes = 0;  // of the documents written, before and after
  std::size_t writtenBytes = 0;
  std::size_t validated = 0;                         // written documents that xmllint accepts
  std::map<std::string, std::size_t> notValidated;   // by reason
  std::map<std::string, std::size_t> knownFaults;    // by reason

  // The counts as lines for the test's output.
  std::string summary() const;
};

class CorpusRun {
public:
  // Written documents go to scratch, which the run creates and removes.
  CorpusRun(const Corpus& corpus, std::filesystem::path scratch);
  ~CorpusRun();
  CorpusRun(const CorpusRun&) = delete;
  CorpusRun& operator=(const CorpusRun&) = delete;

  // Parses, matches, writes and parses the document again.
  void process(const std::filesystem::path& document);
  // Validates the originals and written documents, one xmllint per schema.
  void validate();
  void skipValidation(const std::string& reason);

  // The outcome against the originals that their schemas refuse and the
  // documents known to fail (corpusFacts()). A listed document that passes,
  // or fails at another step, is a failure too.
  CorpusOutcome judge() const;

private:
  struct DocumentResult;
  const Corpus& corpus_;
  const std::filesystem::path scratch_;
  std::vector<DocumentResult> results_;
  std::string validationSkipped_;
};

#endif
