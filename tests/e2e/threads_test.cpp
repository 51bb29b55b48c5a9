// Eight threads, each with workers of its own, parse and write different
// documents at the same time against one shared descriptor; every tree and
// every written document must equal what one thread alone produces. Run it
// in the ThreadSanitizer build (-DWF_TSAN=ON) to see the races it provokes.
#include "treeroundtrip.h"

#include "zelexception.h"
#include "zellog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 3;

// One document and the code page it is written back in.
struct Job {
  std::string name;
  std::vector<std::uint8_t> bytes;
  long ccsid;
};

// What a parse and a write produce; a failure leaves its message instead.
struct Outcome {
  std::string treeJson;
  std::vector<std::uint8_t> written;
  std::string failure;
  bool operator==(const Outcome& other) const {
    return treeJson == other.treeJson && written == other.written && failure == other.failure;
  }
};

// The purchase-order documents (one of them broken) in three code pages:
// neighbouring threads work on different documents at any moment.
std::vector<Job> jobs() {
  const fs::path folder = fs::path(WF_EXAMPLES_DIR) / "purchase-order";
  std::vector<fs::path> documents;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".xml") documents.push_back(entry.path());
  documents.push_back(fs::path(WF_TEST_DATA_DIR) / "malformed.xml");
  std::sort(documents.begin(), documents.end());
  std::vector<Job> result;
  for (const long ccsid : {1208L, 1200L, 500L})
    for (const auto& document : documents)
      result.push_back({document.filename().string() + "@" + std::to_string(ccsid), readBytes(document), ccsid});
  return result;
}

// Parses a document and writes its tree back, each with a worker of its own.
Outcome run(const DictionaryInfo* descriptor, const Job& job) {
  Outcome outcome;
  try {
    MessageTree tree;
    parseTree(job.bytes, descriptor, MessageInfo(), tree);
    outcome.treeJson = treeToJson(tree);
    outcome.written = writeTree(tree, descriptor, propertiesFrom({{"ccsid", job.ccsid}}));
  } catch (const ZelException& e) {
    outcome.failure = e.what();
  }
  return outcome;
}

class SharedDescriptor : public ::testing::Test {
protected:
  void TearDown() override { ZelLog::setSink({}); }

  // Each thread runs every job kRounds times, starting at its own offset,
  // and counts the results that differ from the expected ones.
  void runConcurrently(const std::vector<Job>& work, const std::vector<Outcome>& expected) {
    std::atomic<int> mismatches{0};
    std::vector<std::string> firstMismatch(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (std::size_t i = 0; i < work.size() * kRounds; ++i) {
          const std::size_t j = (t + i) % work.size();
          if (run(descriptor_, work[j]) == expected[j]) continue;
          ++mismatches;
          if (firstMismatch[t].empty()) firstMismatch[t] = work[j].name;
        }
      });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(firstMismatch[t], "") << "first result that differed in thread " << t;
  }

  // The results of one thread alone, checked to be real work.
  std::vector<Outcome> alone(const std::vector<Job>& work) {
    std::vector<Outcome> expected;
    std::size_t failures = 0;
    for (const Job& job : work) {
      expected.push_back(run(descriptor_, job));
      if (!expected.back().failure.empty()) ++failures;
    }
    EXPECT_EQ(failures, 3u) << "only malformed.xml fails, in each code page";
    return expected;
  }

  const DictionaryInfo* const descriptor_ =
      LoadedPlugin::instance().descriptor(std::string(WF_EXAMPLES_DIR) + "/purchase-order/purchase-order.json");
};

// Without tracing, then with it: with tracing on every worker logs through
// the one process-wide logger.
TEST_F(SharedDescriptor, EightThreadsParseAndWriteAsOneThreadDoes) {
  const std::vector<Job> work = jobs();
  ASSERT_GE(work.size(), static_cast<std::size_t>(kThreads));
  const std::vector<Outcome> expected = alone(work);
  runConcurrently(work, expected);

  std::atomic<long> lines{0};
  ZelLog::setSink([&lines](std::string_view) { ++lines; });
  const int level = iEffectiveLogFilter;
  iEffectiveLogFilter = 4;
  runConcurrently(work, expected);
  iEffectiveLogFilter = level;
  EXPECT_GT(lines.load(), 0);
}

}  // namespace
