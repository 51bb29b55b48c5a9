// The W3C XML Schema test suite's instances through the typed JSON mapping:
// every instance (of XSD 1.0 or 1.1, whatever outcome the suite expects) of
// a schema that compiles, and that the validator accepts, goes
// XML -> JSON -> XML (the schema's checks on) and
// must come back with the same elements in the same order, the same
// attributes and the same values. Instances a limit or a fault not fixed yet
// stops are listed in tests/data/xsdsuite-typed.json by step and reason; a
// listed instance that makes the trip, or fails at another step, fails the
// test until its entry goes. WF_XSDSUITE_SAMPLE takes every N-th group.
#include "apitestsupport.h"
#include "corpora/corpussupport.h"
#include "corpora/xsdsuite.h"
#include "testdata.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSuiteGroupSample = WF_XSDSUITE_SAMPLE;

// tests/data/xsdsuite-typed.json: step -> reason -> instances.
std::map<std::string, KnownTreeFault> knownFaults() {
  std::map<std::string, KnownTreeFault> known;
  const nlohmann::json json = nlohmann::json::parse(readFileText(testData("xsdsuite-typed.json")));
  for (const auto& [step, reasons] : json.items())
    for (const auto& [reason, names] : reasons.items())
      for (const std::string name : names) known[name] = {step, reason};
  return known;
}

// A document's elements in order, each with its attributes (in no order) and
// values: what the trip must keep.
std::vector<std::string> documentFacts(wfxml::Session& session, const std::string& text) {
  std::vector<std::string> facts;
  std::vector<std::string> attributes;
  const auto endAttributes = [&] {
    std::sort(attributes.begin(), attributes.end());
    facts.insert(facts.end(), attributes.begin(), attributes.end());
    attributes.clear();
  };
  session.parse(text.data(), text.size(), [&](const wfxml::Event& e) {
    const std::string name = "{" + std::string(e.namespaceUri) + "}" + std::string(e.name);
    if (e.kind == wfxml::EventKind::StartElement && !e.isAttribute) {
      endAttributes();
      facts.push_back(std::to_string(e.depth) + " " + name);
    } else if (e.kind == wfxml::EventKind::Value) {
      const std::string fact = name + " = " + (e.value.isNull() ? "null" : e.value.text());
      if (e.isAttribute || e.value.isNull()) {  // a null comes of an attribute, xsi:nil
        attributes.push_back("@" + fact);
      } else {
        endAttributes();
        facts.push_back(fact);
      }
    }
  });
  endAttributes();
  return facts;
}

// The first step the instance fails ("" when it makes the trip) and why.
std::pair<std::string, std::string> trip(wfxml::Session& session, const std::string& text) {
  std::string json;
  try {
    json = session.toJson(text.data(), text.size());
  } catch (const wfxml::Error& e) {
    return {"convert", e.what()};
  }
  std::vector<std::uint8_t> written;
  try {
    written = session.write(session.fromJson(json), checkedWrite(true));
  } catch (const wfxml::Error& e) {
    return {"come back", std::string(e.what()) + " in " + json};
  }
  const std::vector<std::string> before = documentFacts(session, text);
  const std::vector<std::string> after = documentFacts(session, textOf(written));
  if (before == after) return {};
  const auto [was, is] = std::mismatch(before.begin(), before.end(), after.begin(), after.end());
  return {"keep", (was == before.end() ? "(end)" : *was) + " came back as " + (is == after.end() ? "(end)" : *is)};
}

TEST(TypedJsonSuite, ValidInstancesComeBackUnchanged) {
  const std::optional<XsdSuite> suite = loadXsdSuite(fs::path(WF_BINARY_DIR) / "xsdtests", XsdSuiteScope::everyTest);
  if (!suite) GTEST_SKIP() << "the W3C XML Schema suite is not at " << sharedXsdSuiteFolder();
  const std::map<std::string, KnownTreeFault> known = knownFaults();
  KnownFaultJudge judge(known);
  std::size_t tried = 0, unchanged = 0;
  for (std::size_t g = 0; g < suite->groups.size(); g += kSuiteGroupSample) {
    const XsdSuiteGroup& group = suite->groups[g];
    if (!group.schemaValid || group.instances.empty()) continue;
    const std::optional<wfxml::MessageSet> set = compiledSuiteSet(group);
    if (!set) continue;  // the validation suite test counts these
    wfxml::Session session(*set);
    for (const XsdSuiteInstance& instance : group.instances) {
      const std::string text = readFileText(instance.document.string());
      if (!set->validate(text.data(), text.size()).empty()) continue;  // a verdict the validation test lists
      ++tried;
      const auto [step, problem] = trip(session, text);
      unchanged += judge.judge(instance.name, step, problem);
    }
  }
  std::printf("%zu instances the validator accepts, %zu come back unchanged\n", tried, unchanged);
  for (const auto& [reason, count] : judge.known) std::printf("  %zu known to fail to %s\n", count, reason.c_str());
  for (const std::string& failure : judge.failures) ADD_FAILURE() << failure;
}

}  // namespace
