// One message set shared by eight threads: its conveniences and sessions of
// their own give every thread what one thread alone gets.
#include "apitestsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 20;

TEST(Threads, EightThreadsShareOneMessageSet) {
  const wfxml::MessageSet set = kindsMessageSet();
  const std::string expectedUtf8 = textOf(set.write(set.parse(kKindsDocument.data(), kKindsDocument.size())));
  const std::string expectedEbcdic =
      textOf(set.write(set.parse(kKindsDocument.data(), kKindsDocument.size()), {"ibm-500"}));

  std::atomic<int> mismatches{0};
  std::atomic<int> errors{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      try {
        wfxml::Session session(set);
        for (int round = 0; round < kRounds; ++round) {
          // Half the calls through the shared pool, half through the thread's session.
          const bool pooled = (round + t) % 2 == 0;
          const wfxml::Message message = pooled ? set.parse(kKindsDocument.data(), kKindsDocument.size())
                                                : session.parse(kKindsDocument.data(), kKindsDocument.size());
          const bool ebcdic = round % 3 == 0;
          const wfxml::WriteOptions options{ebcdic ? "ibm-500" : "utf-8"};
          const std::string written = textOf(pooled ? set.write(message, options) : session.write(message, options));
          if (written != (ebcdic ? expectedEbcdic : expectedUtf8)) ++mismatches;
          if (message.root().child("huge").value().text() != "123456789012345678901234567890") ++mismatches;
        }
      } catch (const wfxml::Error&) {
        ++errors;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(errors.load(), 0);
}

}  // namespace
