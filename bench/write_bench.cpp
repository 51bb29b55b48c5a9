// Writing a message tree as XML, side by side with libxml2 and pugixml
// serializing the same document from their own trees.
//
// Data, generated in the set-up: the order list (support/purchaseorders.h), a
// typed purchase-order document of about 20 MB (45,000 orders of 9 fields
// and 3 lines each; depth 4; two attributes per order and one per line; ~45%
// of the bytes are markup, the rest values:
// integers, decimals, doubles, booleans, date-times, and strings with a
// Latin-1 accent and the characters "&" and "<" to escape). Our writer writes
// the tree the plug-in would hand it, with the message set's dictionary; the
// other two load the document our writer produced and serialize it. Output
// goes to UTF-8 and to the EBCDIC code page 500.
//
// Rates are in bytes of the UTF-8 document per second, for every run, so
// that they compare; the ratios are printed after the table. Targets: our
// UTF-8 output at least as fast as libxml2's and at least 25% of pugixml's;
// our code page 500 output at least as fast as libxml2's.
#include "bitstreambuffer.h"
#include "support/benchsession.h"
#include "support/purchaseorders.h"

#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

void setRate(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * OrderList::instance().document().size()));
}

void BM_Ours(benchmark::State& state, long ccsid) {
  const OrderList& orders = OrderList::instance();
  BenchWriter writer(orders.messageSet(), ccsid);
  WritableBitstreamBuffer out;
  out.reserve(orders.document().size() + orders.document().size() / 4);
  for (auto _ : state) {
    out.clear();
    writer.write(orders.message(), out);
    benchmark::DoNotOptimize(out.getData());
  }
  setRate(state);
  state.counters["output_MB"] = static_cast<double>(out.getLength()) / 1e6;
}

// The fixed cost of one write: a message of one order (about 600 bytes).
void BM_OursSmallMessage(benchmark::State& state) {
  const OrderList& orders = OrderList::instance();
  BenchWriter writer(orders.messageSet(), 1208);
  WritableBitstreamBuffer out;
  for (auto _ : state) {
    out.clear();
    writer.write(orders.smallMessage(), out);
    benchmark::DoNotOptimize(out.getData());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.getLength()));
}

struct XmlDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

std::unique_ptr<xmlDoc, XmlDocFree> libxml2Document() {
  const std::vector<std::uint8_t>& document = OrderList::instance().document();
  return std::unique_ptr<xmlDoc, XmlDocFree>(xmlReadMemory(
      reinterpret_cast<const char*>(document.data()), static_cast<int>(document.size()), "orders.xml", nullptr, 0));
}

// encoding: null for UTF-8, else the name libxml2 knows the code page by.
void BM_Libxml2(benchmark::State& state, const char* encoding) {
  const auto doc = libxml2Document();
  int size = 0;
  for (auto _ : state) {
    xmlChar* memory = nullptr;
    if (encoding)
      xmlDocDumpMemoryEnc(doc.get(), &memory, &size, encoding);
    else
      xmlDocDumpMemory(doc.get(), &memory, &size);
    if (!memory) {
      state.SkipWithError("libxml2 wrote nothing");
      break;
    }
    benchmark::DoNotOptimize(memory);
    xmlFree(memory);
  }
  setRate(state);
  state.counters["output_MB"] = static_cast<double>(size) / 1e6;
}

// Collects pugixml's output in one growing buffer, kept across iterations.
class VectorWriter : public pugi::xml_writer {
public:
  void write(const void* data, size_t size) override {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
  }
  std::vector<std::uint8_t> out;
};

void BM_Pugixml(benchmark::State& state) {
  const std::vector<std::uint8_t>& document = OrderList::instance().document();
  pugi::xml_document doc;
  doc.load_buffer(document.data(), document.size(), pugi::parse_default | pugi::parse_declaration);
  VectorWriter writer;
  writer.out.reserve(document.size() + document.size() / 4);
  for (auto _ : state) {
    writer.out.clear();
    doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    benchmark::DoNotOptimize(writer.out.data());
  }
  setRate(state);
  state.counters["output_MB"] = static_cast<double>(writer.out.size()) / 1e6;
}

// The console table, then the best rate of each benchmark over its
// repetitions (the machine may be busy with other work) and the ratios that
// the targets compare.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      const auto rate = run.counters.find("bytes_per_second");
      if (rate == run.counters.end()) continue;
      double& best = rates_[run.run_name.function_name];
      best = std::max(best, static_cast<double>(rate->second));
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nDocument: %.1f MB of UTF-8. Best rates in MB/s of that document:\n",
                static_cast<double>(OrderList::instance().document().size()) / 1e6);
    for (const auto& [name, rate] : rates_) std::printf("  %-22s %8.1f MB/s\n", name.c_str(), rate / 1e6);
    ratio("ours/utf8", "libxml2/utf8", "target >= 1.00");
    ratio("ours/utf8", "pugixml/utf8", "target >= 0.25");
    ratio("ours/cp500", "libxml2/cp500", "target >= 1.00");
  }

private:
  void ratio(const std::string& ours, const std::string& theirs, const char* target) {
    const auto a = rates_.find(ours), b = rates_.find(theirs);
    if (a == rates_.end() || b == rates_.end() || b->second <= 0) return;
    std::printf("  %s / %s = %.2f (%s)\n", ours.c_str(), theirs.c_str(), a->second / b->second, target);
  }
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  // Repetitions of the five programs interleave in random order, so that
  // work of other processes on a shared machine falls on all of them alike.
  std::vector<char*> arguments(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  arguments.insert(arguments.begin() + 1, interleave);
  argc = static_cast<int>(arguments.size());
  argv = arguments.data();
  constexpr int kRepetitions = 5;
  auto timed = [](benchmark::internal::Benchmark* benchmark) {
    benchmark->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(kRepetitions);
  };
  timed(benchmark::RegisterBenchmark("ours/utf8", BM_Ours, 1208L));
  timed(benchmark::RegisterBenchmark("ours/cp500", BM_Ours, 500L));
  timed(benchmark::RegisterBenchmark("libxml2/utf8", BM_Libxml2, nullptr));
  timed(benchmark::RegisterBenchmark("libxml2/cp500", BM_Libxml2, "IBM500"));
  timed(benchmark::RegisterBenchmark("pugixml/utf8", BM_Pugixml));
  benchmark::RegisterBenchmark("ours/utf8-one-order", BM_OursSmallMessage)->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  xmlInitParser();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  xmlCleanupParser();
  return 0;
}
