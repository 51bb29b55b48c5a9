// Parse throughput against the scanner's own: the same bytes scanned by the
// DG scanner with a handler that does nothing, parsed with a dictionary and
// parsed self-defining, with the events going to a no-op FIHandler or to the
// host's tree builder. Prints MB/s per run and, at the end, each parse's
// time relative to the raw scan and the heap a parse needs at its peak for a
// short and a long document.
//
// Data: the generated line batch (support/purchaseorders.h), about 20 MB of
// UTF-8, one message of ~150,000 lines.
#include "messagetree.h"
#include "support/benchsession.h"
#include "support/noophandler.h"
#include "support/purchaseorders.h"
#include "support/rawscanner.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Heap accounting: every allocation of the process goes through these, so
// the peak of live bytes during one parse can be measured. Plain counters:
// every benchmark here runs on one thread.
namespace {
std::size_t gLiveBytes = 0;
std::size_t gPeakBytes = 0;
std::size_t gAllocations = 0;

void* countedAllocate(std::size_t size) {
  void* block = std::malloc(size + sizeof(std::max_align_t));
  if (!block) throw std::bad_alloc();
  *static_cast<std::size_t*>(block) = size;
  gLiveBytes += size;
  if (gLiveBytes > gPeakBytes) gPeakBytes = gLiveBytes;
  ++gAllocations;
  return static_cast<char*>(block) + sizeof(std::max_align_t);
}

void countedFree(void* pointer) {
  if (!pointer) return;
  void* block = static_cast<char*>(pointer) - sizeof(std::max_align_t);
  gLiveBytes -= *static_cast<std::size_t*>(block);
  std::free(block);
}
}  // namespace

void* operator new(std::size_t size) { return countedAllocate(size); }
void* operator new[](std::size_t size) { return countedAllocate(size); }
void operator delete(void* pointer) noexcept { countedFree(pointer); }
void operator delete[](void* pointer) noexcept { countedFree(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { countedFree(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { countedFree(pointer); }

namespace {
// WF_PARSE_BENCH_MB overrides the size (for profiling runs).
const std::string& document() {
  static const std::string text = [] {
    const char* megabytes = std::getenv("WF_PARSE_BENCH_MB");
    return generateLineBatch((megabytes ? std::strtoul(megabytes, nullptr, 10) : 20) << 20);
  }();
  return text;
}

void setThroughput(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document().size()));
}

void BM_RawScan(benchmark::State& state) {
  const std::string& bytes = document();
  RawScanner scanner;
  for (auto _ : state) scanner.scan(bytes);
  setThroughput(state);
}

const wfxml::MessageSet& messageSet(bool withDictionary) {
  static const wfxml::MessageSet none = wfxml::MessageSet::none();
  return withDictionary ? lineBatchSet() : none;
}

void BM_ParseNoOp(benchmark::State& state, bool withDictionary) {
  const std::string& bytes = document();
  BenchParser parser(messageSet(withDictionary));
  NoOpHandler output;
  for (auto _ : state) parser.parse(bytes, output);
  setThroughput(state);
}

void BM_ParseTree(benchmark::State& state, bool withDictionary) {
  const std::string& bytes = document();
  BenchParser parser(messageSet(withDictionary));
  wfxml::Message message = wfxml::host::emptyMessage(messageSet(withDictionary));
  for (auto _ : state) {
    parser.parseToTree(bytes, message);
    benchmark::DoNotOptimize(wfxml::host::tree(message).getRoot());
  }
  setThroughput(state);
}

// With --benchmark_repetitions the ratios use each benchmark's fastest run:
// on a shared machine the other processes only ever slow a run down.
double fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

BENCHMARK(BM_RawScan)->Unit(benchmark::kMillisecond)->MinTime(2.0)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(BM_ParseNoOp, Dictionary, true)
    ->Unit(benchmark::kMillisecond)->MinTime(2.0)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(BM_ParseNoOp, SelfDefining, false)
    ->Unit(benchmark::kMillisecond)->MinTime(2.0)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(BM_ParseTree, Dictionary, true)
    ->Unit(benchmark::kMillisecond)->MinTime(2.0)->ComputeStatistics("min", fastest);
BENCHMARK_CAPTURE(BM_ParseTree, SelfDefining, false)
    ->Unit(benchmark::kMillisecond)->MinTime(2.0)->ComputeStatistics("min", fastest);

// Keeps each run's time per iteration (the fastest when runs are repeated)
// for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "min") continue;
      times_[run.run_name.function_name + run.run_name.args] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    }
  }
  void printRatios() const {
    const auto raw = times_.find("BM_RawScan");
    if (raw == times_.end()) return;
    std::printf("\nTime relative to the raw scan, real and CPU (targets: dictionary no-op <= 1.6, tree <= 2.5):\n");
    for (const auto& [name, time] : times_)
      if (name != raw->first)
        std::printf("  %-40s %.2fx  %.2fx\n", name.c_str(), time.first / raw->second.first,
                    time.second / raw->second.second);
  }

private:
  std::map<std::string, std::pair<double, double>> times_;  // real, CPU
};

// Peak heap of one parse with events to a no-op handler, beyond the heap
// live before it (the document itself): it must not grow with the length.
void printPeakHeap() {
  std::printf("\nPeak heap of a parse with a dictionary and a no-op handler (events only):\n");
  NoOpHandler output;
  BenchParser parser(lineBatchSet());
  for (const std::size_t megabytes : {2, 20}) {
    const std::string bytes = generateLineBatch(megabytes << 20);
    parser.parse(bytes, output);  // warm the worker's pools
    const std::size_t before = gLiveBytes;
    gPeakBytes = before;
    const std::size_t allocations = gAllocations;
    parser.parse(bytes, output);
    const std::size_t peak = gPeakBytes - before;
    std::printf("  %2zu MB document: peak %.3f MB above the heap live before (the document), "
                "%.2f allocations per KB of input\n",
                megabytes, peak / 1048576.0, (gAllocations - allocations) / (bytes.size() / 1024.0));
  }
}
}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("Document: %.1f MB\n", document().size() / 1048576.0);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  if (!std::getenv("WF_PARSE_BENCH_MB")) printPeakHeap();
  benchmark::Shutdown();
  return 0;
}
