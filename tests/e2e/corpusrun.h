#ifndef TESTS_E2E_CORPUSRUN_H
#define TESTS_E2E_CORPUSRUN_H

// Runs the documents of a real corpus through the plug-in with the
// dictionaries of their XML Schemas (parse, every element matched, write,
// parse again, the written XML validated by xmllint), then judges the
// outcomes against the documents known to fail, and counts.

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The schemas of one document: those compiled together into the dictionary
// it is parsed with, and the one xmllint validates it against.
struct SchemaPairing {
  std::vector<std::string> schemaSet;
  std::string validatingSchema;
};

struct Corpus {
  const char* label;      // in test names and reports
  const char* folder;     // below the corpora folder
  const char* documents;  // the folder of its documents (*.xml, also in subfolders)
  int shards;             // how many tests its documents are dealt into
  // Pairs a document (path and text) with its schemas; folder is the corpus's.
  SchemaPairing (*pairing)(const std::filesystem::path& folder, const std::filesystem::path& document,
                           const std::string& text);
};

// The steps a document goes through, in this order.
enum class Step { Parse, Match, Write, RoundTrip, Validate };

struct KnownFault {
  Step step;           // the first step the document fails
  const char* reason;  // the fault, as the report shows it
};

// The *.xml files below folder in path order, dealt into count shards
// (every count-th from the index-th); of those, every sample-th.
std::vector<std::filesystem::path> documentsOfShard(const std::filesystem::path& folder, int count, int index,
                                                    std::size_t sample);

struct CorpusOutcome {
  std::vector<std::string> failures;  // one text per document that fails unexpectedly
  std::size_t documents = 0;
  std::size_t parsed = 0;
  std::size_t matched = 0;           // parsed with no element outside wildcards left self-defining
  std::size_t wildcardElements = 0;  // self-defining elements under wildcards, outermost ones
  std::size_t roundTripped = 0;
  std::size_t validated = 0;                         // written documents that xmllint accepts
  std::map<std::string, std::size_t> notValidated;   // by reason
  std::map<std::string, std::size_t> knownFaults;    // by reason

  // The counts as lines for the test's output.
  std::string summary() const;
};

class CorpusRun {
public:
  // Documents are paths below corpora; written documents go to scratch,
  // which the run creates and removes.
  CorpusRun(const Corpus& corpus, std::filesystem::path corpora, std::filesystem::path scratch);
  ~CorpusRun();
  CorpusRun(const CorpusRun&) = delete;
  CorpusRun& operator=(const CorpusRun&) = delete;

  // Parses, matches, writes and parses the document again.
  void process(const std::filesystem::path& document);
  // Validates the originals and written documents, one xmllint per schema.
  void validate();
  void skipValidation(const std::string& reason);

  // The outcome against the originals that their schemas refuse and the
  // documents known to fail (both by path below the corpora folder, with
  // reasons). A listed document that passes, or fails at another step, is a
  // failure too.
  CorpusOutcome judge(const std::map<std::string, std::string>& invalidOriginals,
                      const std::map<std::string, KnownFault>& knownFaults) const;

private:
  struct DocumentResult;
  const Corpus& corpus_;
  const std::filesystem::path corpora_;
  const std::filesystem::path scratch_;
  std::vector<DocumentResult> results_;
  std::string validationSkipped_;
};

#endif
