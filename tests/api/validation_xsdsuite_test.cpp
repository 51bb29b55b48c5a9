// The W3C XML Schema test suite's XSD 1.0 instance tests through the
// validator: for every test group whose schema compiles, each instance's
// verdict (valid or not) against the expected one. The agreement must stay at
// 98 % or above; the test prints the figures and where the verdicts differ
// (docs/validation.md lists them). WF_XSDSUITE_SAMPLE takes every N-th group.
#include "apitestsupport.h"
#include "corpora/xsdsuite.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSuiteGroupSample = WF_XSDSUITE_SAMPLE;

TEST(ValidationSuite, VerdictsAgreeWithTheSuiteForSchemasThatCompile) {
  const std::optional<XsdSuite> suite = loadXsdSuite(fs::path(WF_BINARY_DIR) / "xsdtests");
  if (!suite) GTEST_SKIP() << "the W3C XML Schema suite is not at " << sharedXsdSuiteFolder();
  std::size_t groups = 0, uncompiled = 0, instances = 0, agreed = 0;
  std::vector<std::string> differences;
  for (std::size_t g = 0; g < suite->groups.size(); g += kSuiteGroupSample) {
    const XsdSuiteGroup& group = suite->groups[g];
    if (!group.schemaValid || group.instances.empty()) continue;
    ++groups;
    const std::optional<wfxml::MessageSet> set = compiledSuiteSet(group);
    if (!set) {
      ++uncompiled;
      continue;
    }
    for (const XsdSuiteInstance& instance : group.instances) {
      const std::string text = readFileText(instance.document.string());
      const std::vector<wfxml::ValidationError> problems = set->validate(text.data(), text.size());
      ++instances;
      if (problems.empty() == instance.valid) {
        ++agreed;
      } else {
        differences.push_back(instance.name + (instance.valid ? ": valid, refused: " + problems[0].message
                                                               : ": invalid, accepted"));
      }
    }
  }
  std::printf("%zu groups with instances (%zu schemas do not compile); %zu instances, %zu verdicts agree (%.2f %%)\n",
              groups, uncompiled, instances, agreed, instances ? 100.0 * agreed / instances : 100.0);
  for (const std::string& difference : differences) std::printf("  %s\n", difference.c_str());
  EXPECT_GE(agreed * 100, instances * 98) << differences.size() << " verdicts differ";
}

}  // namespace
