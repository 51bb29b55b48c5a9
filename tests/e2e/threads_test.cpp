// Eight threads, each with workers of its own, parse and write different
// documents at the same time against one shared descriptor; every tree and
// every written document must equal what one thread alone produces. Run it
// in the ThreadSanitizer build (-DWF_TSAN=ON) to see the races it provokes.
#include "bitstreambuffer.h"
#include "bitstreamworker.h"
#include "dictionaryinfo.h"
#include "messageinfo.h"
#include "messagesetcompiler.h"
#include "messagesetjson.h"
#include "messagetree.h"
#include "pluginloader.h"
#include "zelexception.h"
#include "zellog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 3;

struct WorkerRelease {
  void operator()(BitstreamWorker* worker) const { worker->release(true); }
};
struct DescriptorRelease {
  void operator()(DictionaryInfo* descriptor) const { descriptor->release(); }
};
using WorkerPtr = std::unique_ptr<BitstreamWorker, WorkerRelease>;

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

std::vector<std::uint8_t> readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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

// Parses a document and writes its tree back with a worker of its own (a
// worker takes one write set-up and is spent by a failure).
Outcome run(BitstreamWorkerFactory& factory, const DictionaryInfo* descriptor, const Job& job) {
  static const ZelNamedLogSource owner("threads");
  Outcome outcome;
  try {
    const WorkerPtr worker(factory.createBitstreamWorker(&owner));
    worker->setWireFormatDescriptor(descriptor);
    MessageTree tree;
    TreeBuilder builder(tree);
    MessageInfo in;
    worker->initializeParse(-1, &in, 0);
    worker->setFIHandler(&builder);
    const BitstreamBuffer buffer(job.bytes.data(), job.bytes.size());
    worker->parse(&buffer, nullptr, 0, 0);
    outcome.treeJson = treeToJson(tree);

    MessageInfo out;
    out.setIntegerProperty(u"ccsid", job.ccsid);
    worker->initializeWrite(&out, nullptr, nullptr, nullptr);
    worker->setFIMessageTree(&tree);
    WritableBitstreamBuffer written;
    worker->write(&written, nullptr, 0);
    outcome.written = written.bytes();
  } catch (const ZelException& e) {
    outcome.failure = e.what();
  }
  return outcome;
}

class SharedDescriptor : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string source = std::string(WF_EXAMPLES_DIR) + "/purchase-order/purchase-order.json";
    const std::vector<unsigned char> extract = compileMessageSetToExtract(readMessageSetJsonFile(source), source);
    descriptor_.reset(factory().createDescriptor());
    descriptor_->FromExtractFormat(nullptr, extract.data(), extract.size());
    descriptor_->postProcessDictionary();
  }
  void TearDown() override { ZelLog::setSink({}); }

  BitstreamWorkerFactory& factory() { return *library_.factoryFor(u"XML"); }

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
          if (run(factory(), descriptor_.get(), work[j]) == expected[j]) continue;
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
      expected.push_back(run(factory(), descriptor_.get(), job));
      if (!expected.back().failure.empty()) ++failures;
    }
    EXPECT_EQ(failures, 3u) << "only malformed.xml fails, in each code page";
    return expected;
  }

  PluginLibrary library_{std::string(WF_PLUGIN_DIR) + "/libpwfxml.so"};
  std::unique_ptr<DictionaryInfo, DescriptorRelease> descriptor_;
};

TEST_F(SharedDescriptor, EightThreadsParseAndWriteAsOneThreadDoes) {
  const std::vector<Job> work = jobs();
  ASSERT_GE(work.size(), static_cast<std::size_t>(kThreads));
  runConcurrently(work, alone(work));
}

// With tracing on every worker logs through the one process-wide logger.
TEST_F(SharedDescriptor, EightThreadsTracingAtOnceKeepTheirResults) {
  const std::vector<Job> work = jobs();
  const std::vector<Outcome> expected = alone(work);
  std::atomic<long> lines{0};
  ZelLog::setSink([&lines](std::string_view) { ++lines; });
  const int level = iEffectiveLogFilter;
  iEffectiveLogFilter = 4;
  runConcurrently(work, expected);
  iEffectiveLogFilter = level;
  EXPECT_GT(lines.load(), 0);
}

}  // namespace
