#include "corpora/corpussupport.h"

#include "e2e/e2esupport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <ostream>

namespace fs = std::filesystem;

namespace {

const fs::path kCorpora = WF_CORPORA_DIR;

// The first element's local name in a document's text.
std::string rootNameOf(std::string_view text) {
  for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
    if (at + 1 >= text.size() || text[at + 1] == '?' || text[at + 1] == '!') continue;
    const std::string_view name = text.substr(at + 1, text.find_first_of(" \t\r\n/>", at + 1) - at - 1);
    const std::size_t colon = name.find(':');
    return std::string(colon == std::string_view::npos ? name : name.substr(colon + 1));
  }
  return {};
}

// The first default namespace of a document's text from "xsd:" on
// ("urn:iso:std:iso:20022:tech:xsd:camt.053.001.02" gives "camt.053.001.02").
std::string namespaceNameOf(std::string_view text) {
  const std::string_view declaration = "xmlns=\"";
  const std::size_t start = text.find(declaration);
  if (start == std::string_view::npos) return {};
  const std::string_view uri = text.substr(start + declaration.size());
  const std::string_view value = uri.substr(0, uri.find('"'));
  const std::size_t name = value.find("xsd:");
  return std::string(name == std::string_view::npos ? value : value.substr(name + 4));
}

// A schema pattern below folder with the document's names put in; "*.xsd"
// at its end takes every schema of that folder, in path order.
std::vector<std::string> expand(const fs::path& folder, std::string pattern,
                                const std::map<std::string, std::string>& names) {
  for (const auto& [name, value] : names)
    for (std::size_t at = pattern.find(name); at != std::string::npos; at = pattern.find(name, at))
      pattern.replace(at, name.size(), value);
  const fs::path path = folder / pattern;
  if (path.filename() != "*.xsd") return {path.string()};
  std::vector<std::string> schemas;
  for (const auto& entry : fs::directory_iterator(path.parent_path()))
    if (entry.path().extension() == ".xsd") schemas.push_back(entry.path().string());
  std::sort(schemas.begin(), schemas.end());
  return schemas;
}

CorpusFacts readFacts() {
  const nlohmann::json json = nlohmann::json::parse(readFileText(std::string(WF_TEST_DATA_DIR) + "/corpora.json"));
  CorpusFacts facts;
  for (const nlohmann::json& corpus : json.at("corpora")) {
    const fs::path folder = kCorpora / corpus.at("folder").get<std::string>();
    facts.corpora.push_back({corpus.at("label"), folder, folder / corpus.at("documents").get<std::string>(),
                             corpus.at("shards"), corpus.at("schemas"), corpus.value("validate", ""),
                             corpus.value("byRoot", std::map<std::string, std::string>())});
  }
  facts.invalidOriginals = json.at("invalidOriginals");
  for (const auto& [document, fault] : json.at("knownFaults").at("tree").items())
    facts.treeFaults[document] = {fault.at("step"), fault.at("reason")};
  facts.typedFaults = json.at("knownFaults").at("typed");
  return facts;
}

}  // namespace

SchemaPairing Corpus::pairing(const fs::path& document, std::string_view text) const {
  const std::string root = rootNameOf(text);
  const std::map<std::string, std::string> names{
      {"{root}", root}, {"{namespace}", namespaceNameOf(text)}, {"{stem}", document.stem().string()}};
  const auto own = byRoot.find(root);
  if (own != byRoot.end()) {
    const std::vector<std::string> schema = expand(folder, own->second, names);
    return {schema, schema.front()};
  }
  std::vector<std::string> set = expand(folder, schemas, names);
  std::string validating = validate.empty() ? set.front() : expand(folder, validate, names).front();
  return {std::move(set), std::move(validating)};
}

std::vector<fs::path> Corpus::documentsOfShard(int count, int index, std::size_t sample) const {
  std::vector<fs::path> all;
  for (const auto& entry : fs::recursive_directory_iterator(documents))
    if (entry.is_regular_file() && entry.path().extension() == ".xml") all.push_back(entry.path());
  std::sort(all.begin(), all.end());
  std::vector<fs::path> shard;
  for (std::size_t i = static_cast<std::size_t>(index); i < all.size(); i += static_cast<std::size_t>(count))
    if ((i / static_cast<std::size_t>(count)) % sample == 0) shard.push_back(all[i]);
  return shard;
}

bool KnownFaultJudge::judge(const std::string& name, const std::string& failedStep, const std::string& problem) {
  const auto listed = known_.find(name);
  if (listed == known_.end()) {
    if (!failedStep.empty()) failures.push_back(name + " fails to " + failedStep + ": " + problem);
  } else if (failedStep == listed->second.step) {
    ++known[listed->second.step + ": " + listed->second.reason];
  } else {
    failures.push_back(name + " is listed to fail to " + listed->second.step + " (" + listed->second.reason + ") but " +
                       (failedStep.empty() ? "passes now: take it off the list" : "fails to " + failedStep + ": " + problem));
  }
  return failedStep.empty();
}

void PrintTo(const Corpus& corpus, std::ostream* out) { *out << corpus.label; }

const CorpusFacts& corpusFacts() {
  static const CorpusFacts facts = readFacts();
  return facts;
}

std::string nameBelowCorpora(const fs::path& document) { return fs::relative(document, kCorpora).string(); }

// xmllint ends each file's complaints ("FILE:LINE: ...") with "FILE
// validates" or "FILE fails to validate"; a schema it cannot load fails
// every file with a complaint of its own.
std::map<std::string, XmllintVerdict> xmllintVerdicts(const std::string& schema, const std::vector<std::string>& files) {
  std::vector<std::string> args{"--noout", "--schema", schema};
  args.insert(args.end(), files.begin(), files.end());
  const std::vector<std::string> lines = linesOf(runCommand("xmllint", args).err);
  std::map<std::string, XmllintVerdict> verdicts;
  for (const std::string& file : files) {
    XmllintVerdict& verdict = verdicts[file];
    std::vector<std::string> own;
    for (const std::string& line : lines) {
      if (line == file + " validates") verdict.valid = true;
      if (line.rfind(file + ":", 0) == 0) own.push_back(line);
    }
    if (verdict.valid) continue;
    const std::vector<std::string>& said = own.empty() ? lines : own;
    for (std::size_t i = 0; i < said.size() && i < 3; ++i) verdict.complaint += (i == 0 ? "" : "\n") + said[i];
  }
  return verdicts;
}
