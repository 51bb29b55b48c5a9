#ifndef TESTS_CORPORA_CORPUSSUPPORT_H
#define TESTS_CORPORA_CORPUSSUPPORT_H

// The shared corpora as tests/data/corpora.json describes them for the
// corpus tests of the end-to-end and API programs (the Python corpus test
// reads the same file): the documents of each corpus, the schemas each goes
// with, the originals their schemas refuse and the documents known to fail;
// and xmllint's verdicts on many files in one run.

#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The schemas of one document: those compiled together into the dictionary
// it is parsed with, and the one xmllint validates it against.
struct SchemaPairing {
  std::vector<std::string> schemaSet;
  std::string validatingSchema;
};

struct Corpus {
  std::string label;         // in test names and reports
  std::filesystem::path folder;
  std::filesystem::path documents;  // the folder of its documents (*.xml, also in subfolders)
  int shards = 1;            // how many tests the tree round trip deals its documents into
  std::string schemas;       // the schema patterns of corpora.json, below folder
  std::string validate;
  std::map<std::string, std::string> byRoot;

  // The schemas of a document (its path and text).
  SchemaPairing pairing(const std::filesystem::path& document, std::string_view text) const;
  // The documents in path order, dealt into count shards (every count-th
  // from the index-th); of those, every sample-th.
  std::vector<std::filesystem::path> documentsOfShard(int count, int index, std::size_t sample) const;
};

// As a test parameter, by label.
void PrintTo(const Corpus& corpus, std::ostream* out);

struct KnownTreeFault {
  std::string step;  // the first step the document fails
  std::string reason;
};

// Outcomes of cases judged against those known to fail: a listed case that
// passes, or fails at another step, is a failure too, so that its entry goes
// when its fault does.
class KnownFaultJudge {
public:
  explicit KnownFaultJudge(const std::map<std::string, KnownTreeFault>& known) : known_(known) {}
  // Records a case's outcome (failedStep empty: it passed); true when it passed.
  bool judge(const std::string& name, const std::string& failedStep, const std::string& problem);

  std::vector<std::string> failures;            // one text per unexpected outcome
  std::map<std::string, std::size_t> known;     // by "step: reason"

private:
  const std::map<std::string, KnownTreeFault>& known_;
};

struct CorpusFacts {
  std::vector<Corpus> corpora;
  // By path below the corpora folder, with the reason.
  std::map<std::string, std::string> invalidOriginals;
  std::map<std::string, KnownTreeFault> treeFaults;
  std::map<std::string, std::string> typedFaults;
};

// Read once from tests/data/corpora.json, with the corpora at WF_CORPORA_DIR.
const CorpusFacts& corpusFacts();

// A document's path below the corpora folder, as the facts name it.
std::string nameBelowCorpora(const std::filesystem::path& document);

struct XmllintVerdict {
  bool valid = false;
  std::string complaint;  // the first lines of what xmllint said, when not valid
};

// What xmllint says of each file against one schema, in one run.
std::map<std::string, XmllintVerdict> xmllintVerdicts(const std::string& schema, const std::vector<std::string>& files);

#endif
