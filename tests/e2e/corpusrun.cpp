#include "corpusrun.h"

#include "treeroundtrip.h"

#include "stddictionaryinfo.h"
#include "xsdimporter.h"
#include "zelexception.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// A schema set imported and compiled once per program, with what the match
// check needs to know of its types.
class SchemaDictionary {
public:
  explicit SchemaDictionary(const std::vector<std::string>& schemas) {
    try {
      set_ = importXmlSchemas(schemas, {}).set;
      descriptor_ = LoadedPlugin::instance().descriptorOf(set_, schemas.front());
    } catch (const ZelException& e) {
      problem_ = "the schema set does not compile: " + describe(e);
      return;
    }
    tables_ = dynamic_cast<const StdDictionaryInfo*>(descriptor_);
    if (!tables_) problem_ = "the descriptor has no dictionary tables";
    admitsUndeclared_.assign(set_.types.size(), Unknown);
  }

  // Empty when the dictionary is ready.
  const std::string& problem() const { return problem_; }
  const DictionaryInfo* descriptor() const { return descriptor_; }

  // True when the type of a matched element admits elements that the
  // schemas do not declare (it holds a wildcard, or is anyType).
  bool admitsUndeclared(const TreeElement& element) {
    long type = element.getTypeIndex();  // an xsi:type
    if (type < 0 && element.getMemberId() > 0) {
      const long member = tables_->getStructDefIndexFromMbrID(element.getMemberId());
      if (member >= 0) type = tables_->getMemberCache().get(member).typeIndex;
    }
    if (type < 0 && element.getTagId() > 0) {
      const long tag = tables_->getTagDefIndex(element.getTagId());
      if (tag >= 0) type = tables_->getTagCache().get(tag).typeIndex;
    }
    return type >= 0 && hasWildcard(static_cast<std::size_t>(type));
  }

private:
  enum Answer : char { Unknown, Yes, No };

  // The compiler makes one type row per type of the set, in order; the
  // importer makes a wildcard a group member of an open type, which an
  // extension inherits.
  bool hasWildcard(std::size_t type) {
    if (type >= set_.types.size()) return false;
    if (admitsUndeclared_[type] != Unknown) return admitsUndeclared_[type] == Yes;
    admitsUndeclared_[type] = No;  // against cycles while deciding
    const msgset::TypeDef& definition = set_.types[type];
    bool found = definition.composition == msgset::Composition::Open;
    if (!found && definition.derivation == msgset::Derivation::Extension && definition.baseType >= 0)
      found = hasWildcard(static_cast<std::size_t>(definition.baseType));
    for (const msgset::MemberDef& member : definition.members)
      if (!found && member.form == msgset::MemberDef::Form::Group && member.type >= 0)
        found = hasWildcard(static_cast<std::size_t>(member.type));
    admitsUndeclared_[type] = found ? Yes : No;
    return found;
  }

  msgset::MessageSet set_;
  const DictionaryInfo* descriptor_ = nullptr;
  const StdDictionaryInfo* tables_ = nullptr;
  std::vector<Answer> admitsUndeclared_;
  std::string problem_;
};

SchemaDictionary& schemaDictionaryFor(const std::vector<std::string>& schemas) {
  static std::map<std::vector<std::string>, std::unique_ptr<SchemaDictionary>> dictionaries;
  auto& slot = dictionaries[schemas];
  if (!slot) slot = std::make_unique<SchemaDictionary>(schemas);
  return *slot;
}

// Self-defining elements (a name, no dictionary id; not the nameless value
// of simple content) in a parsed tree.
bool isSelfDefining(const TreeElement& element) { return element.getTagId() == -1 && !element.getName().empty(); }

// The parser keeps an element's xsi:type as a self-defining field beside
// the content its dictionary matched.
bool isXsiType(const TreeElement& element) {
  return element.getName() == std::u16string_view(u"type") &&
         element.getNamespaceURI() == std::u16string_view(u"http://www.w3.org/2001/XMLSchema-instance");
}

// Every element of a tree, without recursion.
template <typename Visit>
void forEachElement(const MessageTree& tree, Visit visit) {
  std::vector<const TreeElement*> pending{tree.getRoot()};
  while (!pending.empty()) {
    const TreeElement* element = pending.back();
    pending.pop_back();
    if (!element) continue;
    visit(*element);
    for (const TreeElement* child = element->getFirstChild(); child; child = child->getNextSibling())
      pending.push_back(child);
  }
}

std::string joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& text : texts) out += (out.empty() ? "" : ", ") + text;
  return out;
}

}  // namespace

struct CorpusRun::DocumentResult {
  std::string name;  // below the corpora folder
  fs::path original;
  std::string validatingSchema;
  fs::path written;                     // empty: not written
  std::size_t originalBytes = 0;
  std::size_t writtenBytes = 0;
  RoundTripResult trip;
  std::vector<std::string> unmatched;   // outermost self-defining elements outside wildcards
  std::size_t wildcardElements = 0;
  std::optional<XmllintVerdict> originalVerdict;  // xmllint's, when validated
  std::optional<XmllintVerdict> writtenVerdict;
};

CorpusRun::CorpusRun(const Corpus& corpus, fs::path scratch) : corpus_(corpus), scratch_(std::move(scratch)) {
  fs::create_directories(scratch_);
}

CorpusRun::~CorpusRun() {
  std::error_code ignored;
  fs::remove_all(scratch_, ignored);
}

void CorpusRun::process(const fs::path& document) {
  DocumentResult& result = results_.emplace_back();
  result.name = nameBelowCorpora(document);
  result.original = document;
  const std::vector<std::uint8_t> bytes = readBytes(document.string());
  const SchemaPairing pairing =
      corpus_.pairing(document, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  result.validatingSchema = pairing.validatingSchema;
  SchemaDictionary& dictionary = schemaDictionaryFor(pairing.schemaSet);
  if (!dictionary.problem().empty()) {
    result.trip = {"parse", dictionary.problem()};
    return;
  }
  MessageTree first;
  result.trip = roundTrip(bytes, dictionary.descriptor(), first, false);
  if (result.trip.failedStep == "parse") return;
  forEachElement(first, [&](const TreeElement& element) {
    for (const TreeElement* child = element.getFirstChild(); child; child = child->getNextSibling()) {
      if (!isSelfDefining(*child) || isSelfDefining(element) || isXsiType(*child)) continue;
      if (dictionary.admitsUndeclared(element)) {
        ++result.wildcardElements;
      } else {
        result.unmatched.push_back(child->getName().toUtf8());
      }
    }
  });
  if (result.trip.failedStep == "write") return;
  result.originalBytes = bytes.size();
  result.writtenBytes = result.trip.written.size();
  std::string flatName = result.name;
  std::replace(flatName.begin(), flatName.end(), '/', '_');
  result.written = scratch_ / flatName;
  std::ofstream(result.written, std::ios::binary)
      .write(reinterpret_cast<const char*>(result.trip.written.data()), static_cast<std::streamsize>(result.trip.written.size()));
  result.trip.written.clear();
}

void CorpusRun::validate() {
  std::map<std::string, std::vector<std::string>> filesBySchema;
  for (const DocumentResult& result : results_) {
    filesBySchema[result.validatingSchema].push_back(result.original.string());
    if (!result.written.empty()) filesBySchema[result.validatingSchema].push_back(result.written.string());
  }
  std::map<std::string, XmllintVerdict> verdicts;
  for (const auto& [schema, files] : filesBySchema) verdicts.merge(xmllintVerdicts(schema, files));
  for (DocumentResult& result : results_) {
    result.originalVerdict = verdicts[result.original.string()];
    if (!result.written.empty()) result.writtenVerdict = verdicts[result.written.string()];
  }
}

void CorpusRun::skipValidation(const std::string& reason) { validationSkipped_ = reason; }

CorpusOutcome CorpusRun::judge() const {
  const std::map<std::string, std::string>& invalidOriginals = corpusFacts().invalidOriginals;
  KnownFaultJudge judge(corpusFacts().treeFaults);
  CorpusOutcome outcome;
  for (const DocumentResult& result : results_) {
    ++outcome.documents;
    outcome.originalBytes += result.originalBytes;
    outcome.writtenBytes += result.writtenBytes;
    const auto invalid = invalidOriginals.find(result.name);
    const bool listedInvalid = invalid != invalidOriginals.end();
    if (result.originalVerdict && result.originalVerdict->valid == listedInvalid)
      judge.failures.push_back(result.name + (listedInvalid ? ": listed as refused by its schema, but xmllint accepts it"
                                                            : ": xmllint refuses the original, which is not listed:\n" +
                                                                  result.originalVerdict->complaint));

    // The first step that fails, and how.
    const bool parsed = result.trip.failedStep != "parse";
    std::string failed = result.trip.failedStep;
    std::string problem = result.trip.problem;
    if (parsed && !result.unmatched.empty() && !listedInvalid) {
      failed = "match";
      problem = "self-defining outside wildcards: " + joined(result.unmatched);
    }
    const bool writtenValid = result.writtenVerdict && result.writtenVerdict->valid;
    if (failed.empty() && result.writtenVerdict && !writtenValid && !listedInvalid) {
      failed = "validate";
      problem = "xmllint refuses the written document:\n" + result.writtenVerdict->complaint;
    }

    outcome.parsed += parsed;
    outcome.matched += parsed && result.unmatched.empty();
    outcome.wildcardElements += result.wildcardElements;
    outcome.roundTripped += result.trip.failedStep.empty();
    outcome.validated += writtenValid;
    if (!validationSkipped_.empty()) {
      ++outcome.notValidated[validationSkipped_];
    } else if (listedInvalid) {
      ++outcome.notValidated["the original is not schema-valid: " + invalid->second];
    } else if (result.written.empty()) {
      ++outcome.notValidated["not written"];
    }
    judge.judge(result.name, failed, problem);
  }
  outcome.failures = std::move(judge.failures);
  outcome.knownFaults = std::move(judge.known);
  return outcome;
}

std::string CorpusOutcome::summary() const {
  std::ostringstream out;
  out << documents << " documents, " << parsed << " parsed, " << matched << " with every element matched outside "
      << "wildcards (" << wildcardElements << " self-defining subtrees under wildcards), " << roundTripped
      << " round-tripped, " << validated << " written documents schema-valid; " << writtenBytes
      << " bytes written for " << originalBytes << "\n";
  for (const auto& [reason, count] : notValidated) out << "  " << count << " not validated: " << reason << "\n";
  for (const auto& [reason, count] : knownFaults) out << "  " << count << " known to fail to " << reason << "\n";
  return out.str();
}
