#include "apitestsupport.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {
const std::string& kindsDocumentText() {
  static const std::string text = readFileText(testData("kinds/kinds.xml"));
  return text;
}
}  // namespace

const std::string_view kKindsDocument = kindsDocumentText();

const wfxml::MessageSet& compiledOnce(const std::string& sourcePath) {
  static std::mutex guard;
  // Never destroyed: made before the XML library starts, it would go after the library ends.
  static auto& sets = *new std::map<std::string, wfxml::MessageSet>;
  const std::lock_guard<std::mutex> lock(guard);
  auto found = sets.find(sourcePath);
  if (found == sets.end()) found = sets.emplace(sourcePath, wfxml::MessageSet::compile({sourcePath})).first;
  return found->second;
}

const wfxml::MessageSet& kindsMessageSet() { return compiledOnce(testData("kinds/kinds.xsd")); }
const wfxml::MessageSet& typedMessageSet() { return compiledOnce(testData("typed/typed.xsd")); }

const wfxml::Message& kindsMessage() {
  static const wfxml::Message message = kindsMessageSet().parse(kKindsDocument.data(), kKindsDocument.size());
  return message;
}

std::vector<std::string> eventLines(const wfxml::MessageSet& set, std::string_view document) {
  std::vector<std::string> lines;
  wfxml::Session session(set);
  session.parse(document.data(), document.size(), [&lines](const wfxml::Event& event) {
    static const char* const kNames[] = {"StartMessage", "EndMessage", "Start", "End", "Value"};
    std::string line = std::to_string(event.depth) + " " + kNames[static_cast<int>(event.kind)];
    if (!event.name.empty()) line += " " + std::string(event.name);
    if (!event.namespaceUri.empty()) line += " {" + std::string(event.namespaceUri) + "}";
    if (event.isAttribute) line += " @";
    if (event.isSelfDefining) line += " self";
    if (event.kind == wfxml::EventKind::Value)
      line += " = " + (event.value.isNull() ? std::string("null") : event.value.text());
    lines.push_back(line);
  });
  return lines;
}

std::optional<wfxml::MessageSet> compiledSuiteSet(const XsdSuiteGroup& group) {
  std::vector<std::string> schemas;
  for (const std::filesystem::path& schema : group.schemas) schemas.push_back(schema.string());
  try {
    std::optional<wfxml::MessageSet> set(wfxml::MessageSet::compile(schemas));
    set->validate("", 0);  // the validator's grammar
    return set;
  } catch (const wfxml::Error&) {
    return std::nullopt;
  }
}
