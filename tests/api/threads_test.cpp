// One message set shared by eight threads: its conveniences and sessions of
// their own give every thread what one thread alone gets, written documents,
// errors and validation problems alike (the threads' first validation of the
// set at once, as Xerces-C would write the text of a content error into the
// shared grammar); without tracing, then with it (all threads then log
// through the one process-wide logger). Run it in the ThreadSanitizer build
// to see the races it provokes (docs/development.md).
#include "apitestsupport.h"

#include "zellog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 20;
constexpr std::string_view kMalformed = "<values xmlns=\"urn:test:kinds\"><text>a</values>";
constexpr std::string_view kIncomplete = "<values xmlns=\"urn:test:kinds\"><text>a</text></values>";

std::string problemsOf(const wfxml::MessageSet& set) {
  std::string problems;
  for (const wfxml::ValidationError& problem : set.validate(kIncomplete.data(), kIncomplete.size()))
    problems.append(problem.message).append("\n");
  return problems;
}

// How many results of eight threads differ from one thread's.
int mismatchesOfEightThreads(const wfxml::MessageSet& set) {
  const std::string expectedUtf8 = textOf(set.write(kindsMessage()));
  const std::string expectedEbcdic = textOf(set.write(kindsMessage(), {"ibm-500"}));
  const std::string expectedError = errorOf([&] { set.parse(kMalformed.data(), kMalformed.size()); }).what();

  std::atomic<int> mismatches{0};
  std::vector<std::string> problems(kThreads);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      set.validate(kKindsDocument.data(), kKindsDocument.size());
      for (++ready; ready < kThreads;) std::this_thread::yield();
      problems[t] = problemsOf(set);
      wfxml::Session session(set);
      for (int round = 0; round < kRounds; ++round) {
        // Half the calls through the shared pool, half through the thread's session.
        const bool pooled = (round + t) % 2 == 0;
        try {
          const wfxml::Message message = pooled ? set.parse(kKindsDocument.data(), kKindsDocument.size())
                                                : session.parse(kKindsDocument.data(), kKindsDocument.size());
          const bool ebcdic = round % 3 == 0;
          const wfxml::WriteOptions options{ebcdic ? "ibm-500" : "utf-8"};
          const std::string written = textOf(pooled ? set.write(message, options) : session.write(message, options));
          if (written != (ebcdic ? expectedEbcdic : expectedUtf8)) ++mismatches;
          if (message.root().child("huge").value().text() != "123456789012345678901234567890") ++mismatches;
          if (pooled) set.parse(kMalformed.data(), kMalformed.size());
          else session.parse(kMalformed.data(), kMalformed.size());
          ++mismatches;  // not refused
        } catch (const wfxml::Error& e) {
          if (e.what() != expectedError) ++mismatches;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::string expectedProblems = problemsOf(set);
  if (expectedProblems.empty()) ++mismatches;
  for (const std::string& each : problems) mismatches += each != expectedProblems;
  return mismatches.load();
}

TEST(Threads, EightThreadsShareOneMessageSet) {
  EXPECT_EQ(mismatchesOfEightThreads(kindsMessageSet()), 0);

  std::atomic<long> lines{0};
  ZelLog::setSink([&lines](std::string_view) { ++lines; });
  const int level = iEffectiveLogFilter;
  iEffectiveLogFilter = 4;
  EXPECT_EQ(mismatchesOfEightThreads(kindsMessageSet()), 0) << "with tracing";
  iEffectiveLogFilter = level;
  ZelLog::setSink({});
  EXPECT_GT(lines.load(), 0);
}

}  // namespace
