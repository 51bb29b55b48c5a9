// Speed at message size: one message after another, parsed and written by
// one session (one worker) of one message set, objects reused from message
// to message as a host reuses them; side by side, on the same bytes, the raw
// progressive scan (the scanner alone, events ignored), libxml2 (parse into
// its tree with one reused parser context; xmlDocDumpMemory) and pugixml
// (parse; save).
//
// Messages:
// - generated order lists (support/purchaseorders.h) of about 1, 5 and 20 KB:
//   orders of 9 typed fields and 3 lines, depth 4, about 45 % markup, no
//   namespaces, no whitespace between elements;
// - real messages from the shared corpora, each with the dictionary compiled
//   from its own schemas (once, before timing): a derivatives trade, a bank
//   statement and an invoice (namespaces on; indented, comments in the trade).
//   Without the corpora folder ($WF_CORPORA_DIR, else the one configured at
//   build time) they are skipped with a message.
//
// Each message's programs are timed against each other in interleaved turns
// of the same number of messages: a round visits the messages in a new
// random order and runs each of the message's programs for one turn, in a
// random order, then for one more in the reverse order, so that the programs
// compared run within milliseconds of each other and a drift within the
// round falls on all of them alike. A turn's first message is untimed (it
// brings the program's code and data back into the caches). Times are the
// thread's CPU time. A round gives every case its time per message; a ratio
// of two programs is the median over the rounds of their ratios in one
// round, a time the median over the rounds (a slow round of a shared
// machine moves neither). Writes run from the tree our parse built; their
// MB/s are of each program's own output.
//
//   message_bench                 the table and the targets (a few minutes)
//   message_bench --threads N     messages/s of 1..N threads, each with its
//                                 own sessions over the shared message sets,
//                                 parsing into a tree and writing UTF-8
//   message_bench --repeat N --case MESSAGE/PROGRAM
//                                 runs one case N times untimed, after one
//                                 run that warms it (for callgrind:
//                                 --toggle-collect='*repeatCase*' counts
//                                 the N runs alone)
//   --programs P,Q,...            only these programs (e.g. scan,parse-tree),
//                                 the table and each parse's time against
//                                 the scan, without targets or threads
//   --rounds R, --turn-ms M       rounds, and the CPU time of one turn of a
//                                 message's slowest program (which sets
//                                 the number of messages of its turns)
#include "bitstreambuffer.h"
#include "support/benchsession.h"
#include "support/noophandler.h"
#include "support/purchaseorders.h"
#include "support/rawscanner.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <pugixml.hpp>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

// ---------------------------------------------------------------------------
// Allocations per message: every C++ allocation of the thread is counted in
// a counter of that thread (no shared counter, so the thread runs measure no
// contention of ours). libxml2 and pugixml allocate with malloc, unseen.
namespace {
thread_local std::size_t tAllocations = 0;

void* countedAllocate(std::size_t size) {
  ++tAllocations;
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return countedAllocate(size); }
void* operator new[](std::size_t size) { return countedAllocate(size); }
void operator delete(void* pointer) noexcept { std::free(pointer); }
void operator delete[](void* pointer) noexcept { std::free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { std::free(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { std::free(pointer); }

namespace {

namespace fs = std::filesystem;

double threadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

fs::path corporaDirectory() {
  const char* fromEnvironment = std::getenv("WF_CORPORA_DIR");
  return fromEnvironment ? fromEnvironment : WF_CORPORA_DIR;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---------------------------------------------------------------------------
// Messages

struct BenchMessage {
  std::string name;
  std::string bytes;
  wfxml::MessageSet set;
};

// A real message and the schema its dictionary is compiled from, relative
// to the corpora folder.
struct CorpusMessage {
  const char* name;
  const char* schema;
  const char* message;
};

constexpr CorpusMessage kCorpusMessages[] = {
    {"trade", "fpml-5.11-confirmation/schemas/fpml-main-5-11.xsd",
     "fpml-5.11-confirmation/examples/products/interest-rate-derivatives/ird-ex01-vanilla-swap.xml"},
    {"statement", "iso20022-camt/schemas/camt.053.001.02.xsd", "iso20022-camt/messages/camt053.v2.multi.statement.xml"},
    {"invoice", "ubl-2.1/schemas/maindoc/UBL-Invoice-2.1.xsd", "ubl-2.1/samples/UBL-Invoice-2.1-Example.xml"},
};

class BenchMessages {
public:
  // only: the one message wanted, or empty for all.
  explicit BenchMessages(const std::string& only) {
    for (const std::size_t kilobytes : {1, 5, 20})
      messages_.push_back({"orders-" + std::to_string(kilobytes) + "KB", generateOrderMessage(kilobytes * 1000),
                           orderListSet()});
    const fs::path corpora = corporaDirectory();
    for (const CorpusMessage& real : kCorpusMessages) {
      if (!only.empty() && only != real.name) continue;
      const fs::path schema = corpora / real.schema, message = corpora / real.message;
      if (!fs::exists(schema) || !fs::exists(message)) {
        std::printf("skipped %s: %s not found (set WF_CORPORA_DIR)\n", real.name, message.string().c_str());
        continue;
      }
      const auto start = std::chrono::steady_clock::now();
      wfxml::MessageSet compiled = wfxml::MessageSet::compile({schema.string()});
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      std::printf("compiled %s in %.1f s\n", schema.filename().string().c_str(), took.count());
      messages_.push_back({real.name, readFile(message), std::move(compiled)});
    }
  }
  const std::vector<BenchMessage>& messages() const { return messages_; }

private:
  std::vector<BenchMessage> messages_;
};

// ---------------------------------------------------------------------------
// The programs, each with its objects set up once per message.

struct XmlDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;
struct XmlContextFree {
  void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};

class VectorWriter : public pugi::xml_writer {
public:
  void write(const void* data, size_t size) override {
    const auto* bytes = static_cast<const char*>(data);
    out.insert(out.end(), bytes, bytes + size);
  }
  std::vector<char> out;
};

// One program on one message; run performs one message and returns the
// bytes it counts (the input for a parse, its own output for a write).
struct Case {
  std::string message;
  std::string program;
  std::function<std::size_t()> run;
  bool ours = false;
  std::vector<double> roundSeconds;  // CPU time of one message, one entry a round
  double seconds = 0;                // their median
  std::size_t bytes = 0;
  double allocations = 0;  // per message, once warm
};

// Everything the cases of one message use, alive while they run.
class MessageFixture {
public:
  MessageFixture(const BenchMessage& message, xmlParserCtxt* libxml2)
      : message_(message),
        scanner_(usesNamespaces(message.set)),
        parser_(message.set),
        source_(wfxml::host::emptyMessage(message.set)),
        tree_(wfxml::host::emptyMessage(message.set)),
        utf8Writer_(message.set, 1208),
        cp500Writer_(message.set, 500),
        libxml2_(libxml2) {
    parser_.parseToTree(message.bytes, source_);
    libxml2Doc_.reset(xmlCtxtReadMemory(libxml2_, message.bytes.data(), static_cast<int>(message.bytes.size()),
                                        "message.xml", nullptr, 0));
    pugiSource_.load_buffer(message.bytes.data(), message.bytes.size(), kPugiParse);
    if (!libxml2Doc_ || !pugiSource_.first_child()) {
      std::fprintf(stderr, "%s: libxml2 or pugixml refused the message\n", message.name.c_str());
      std::exit(1);
    }
  }

  void addCases(std::vector<Case>& cases) {
    const std::string& bytes = message_.bytes;
    add(cases, "scan", false, [this, &bytes] {
      scanner_.scan(bytes);
      return bytes.size();
    });
    add(cases, "parse-noop", true, [this, &bytes] {
      parser_.parse(bytes, noOp_);
      return bytes.size();
    });
    add(cases, "parse-tree", true, [this, &bytes] {
      parser_.parseToTree(bytes, tree_);
      return bytes.size();
    });
    add(cases, "write-utf8", true, [this] { return write(utf8Writer_); });
    add(cases, "write-cp500", true, [this] { return write(cp500Writer_); });
    add(cases, "libxml2-parse", false, [this, &bytes] {
      XmlDocPtr doc(xmlCtxtReadMemory(libxml2_, bytes.data(), static_cast<int>(bytes.size()), "message.xml", nullptr, 0));
      return doc ? bytes.size() : 0;
    });
    add(cases, "libxml2-utf8", false, [this] { return dump(nullptr); });
    add(cases, "libxml2-cp500", false, [this] { return dump("IBM500"); });
    add(cases, "pugixml-parse", false, [this, &bytes] {
      return pugiParsed_.load_buffer(bytes.data(), bytes.size(), kPugiParse) ? bytes.size() : 0;
    });
    add(cases, "pugixml-save", false, [this] {
      pugiOut_.out.clear();
      pugiSource_.save(pugiOut_, "", pugi::format_raw, pugi::encoding_utf8);
      return pugiOut_.out.size();
    });
  }

private:
  static constexpr unsigned kPugiParse = pugi::parse_default | pugi::parse_declaration;

  void add(std::vector<Case>& cases, const char* program, bool ours, std::function<std::size_t()> run) {
    Case entry;
    entry.message = message_.name;
    entry.program = program;
    entry.run = std::move(run);
    entry.ours = ours;
    cases.push_back(std::move(entry));
  }
  std::size_t write(BenchWriter& writer) {
    out_.clear();
    writer.write(source_, out_);
    return out_.getLength();
  }
  std::size_t dump(const char* encoding) {
    xmlChar* memory = nullptr;
    int size = 0;
    if (encoding)
      xmlDocDumpMemoryEnc(libxml2Doc_.get(), &memory, &size, encoding);
    else
      xmlDocDumpMemory(libxml2Doc_.get(), &memory, &size);
    xmlFree(memory);
    return memory ? static_cast<std::size_t>(size) : 0;
  }

  const BenchMessage& message_;
  RawScanner scanner_;
  BenchParser parser_;
  NoOpHandler noOp_;
  wfxml::Message source_;  // what the writes write
  wfxml::Message tree_;    // what the tree parse fills
  BenchWriter utf8Writer_;
  BenchWriter cp500Writer_;
  WritableBitstreamBuffer out_;
  xmlParserCtxt* libxml2_;
  XmlDocPtr libxml2Doc_;
  pugi::xml_document pugiSource_;
  pugi::xml_document pugiParsed_;
  VectorWriter pugiOut_;
};

// ---------------------------------------------------------------------------
// Timing

// The value below which the share q of the values lie (q in [0, 1]).
double quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  const double place = q * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(place);
  if (below + 1 >= values.size()) return values.back();
  return values[below] + (place - static_cast<double>(below)) * (values[below + 1] - values[below]);
}

// One turn of a case: a message untimed, then count messages timed; the CPU
// time of one message.
double timeTurn(Case& entry, long count) {
  entry.run();
  const double start = threadCpuSeconds();
  for (long i = 0; i < count; ++i) entry.bytes = entry.run();
  return (threadCpuSeconds() - start) / static_cast<double>(count);
}

// The cases of one message, timed against each other in turns of the same
// number of messages.
struct MessageCases {
  std::vector<Case*> cases;
  long turnMessages = std::numeric_limits<long>::max();
};

void measure(std::vector<Case>& cases, int rounds, double turn) {
  std::mt19937 random(12345);
  std::vector<MessageCases> messages;
  for (Case& entry : cases) {
    entry.run();  // warm: pools filled, caches of the worker learnt
    const std::size_t before = tAllocations;
    constexpr int kCounted = 16;
    const double start = threadCpuSeconds();
    for (int i = 0; i < kCounted; ++i) entry.bytes = entry.run();
    const double seconds = (threadCpuSeconds() - start) / kCounted;
    entry.allocations = static_cast<double>(tAllocations - before) / kCounted;
    if (messages.empty() || messages.back().cases.front()->message != entry.message) messages.emplace_back();
    MessageCases& message = messages.back();
    message.cases.push_back(&entry);
    message.turnMessages = std::max(1L, std::min(message.turnMessages, std::lround(turn / seconds)));
  }
  // Round 0 warms and is not counted.
  for (int round = 0; round <= rounds; ++round) {
    std::shuffle(messages.begin(), messages.end(), random);
    for (MessageCases& message : messages) {
      std::vector<Case*>& order = message.cases;
      std::shuffle(order.begin(), order.end(), random);
      std::vector<double> seconds(order.size(), 0.0);
      for (std::size_t i = 0; i < order.size(); ++i) seconds[i] += timeTurn(*order[i], message.turnMessages);
      for (std::size_t i = order.size(); i-- > 0;) seconds[i] += timeTurn(*order[i], message.turnMessages);
      if (round > 0)
        for (std::size_t i = 0; i < order.size(); ++i) order[i]->roundSeconds.push_back(seconds[i] / 2);
    }
    if (round % 10 == 0) std::fprintf(stderr, "round %d of %d done\n", round, rounds);
  }
  for (Case& entry : cases) entry.seconds = quantile(entry.roundSeconds, 0.5);
}

// a's time against b's, round by round (both cases of one message).
std::vector<double> roundRatios(const Case& a, const Case& b) {
  std::vector<double> ratios;
  for (std::size_t round = 0; round < a.roundSeconds.size(); ++round)
    ratios.push_back(a.roundSeconds[round] / b.roundSeconds[round]);
  return ratios;
}

// Runs the case count times. Kept out of line for callgrind
// (--toggle-collect='*repeatCase*'), which then counts these runs alone.
__attribute__((noinline)) void repeatCase(const Case& entry, long count) {
  for (long i = 0; i < count; ++i) entry.run();
}

const Case* findCase(const std::vector<Case>& cases, const std::string& message, const std::string& program) {
  for (const Case& entry : cases)
    if (entry.message == message && entry.program == program) return &entry;
  return nullptr;
}

double megabytesPerSecond(const Case& entry) { return static_cast<double>(entry.bytes) / entry.seconds / 1e6; }

void printTable(const std::vector<Case>& cases) {
  std::printf("\n%-14s %-14s %7s %10s %9s %9s %11s\n", "message", "program", "bytes", "msgs/s", "MB/s", "us/msg",
              "allocs/msg");
  for (const Case& entry : cases) {
    std::printf("%-14s %-14s %7zu %10.0f %9.1f %9.2f", entry.message.c_str(), entry.program.c_str(), entry.bytes,
                1.0 / entry.seconds, megabytesPerSecond(entry), entry.seconds * 1e6);
    if (entry.ours)
      std::printf(" %11.1f\n", entry.allocations);
    else
      std::printf(" %11s\n", "-");
  }
}

// The median of ratios over the rounds, and in brackets their quartiles.
std::string describeRatios(const std::vector<double>& ratios) {
  char text[48];
  std::snprintf(text, sizeof text, "%5.2f (%.2f-%.2f)", quantile(ratios, 0.5), quantile(ratios, 0.25),
                quantile(ratios, 0.75));
  return text;
}

// Each parse's time against the raw scan of its message, where both ran.
void printScanRatios(const std::vector<Case>& cases) {
  std::printf("\n");
  for (const Case& entry : cases) {
    const Case* scan = findCase(cases, entry.message, "scan");
    if (entry.program.rfind("parse-", 0) == 0 && scan)
      std::printf("  %-14s %-12s / scan %s\n", entry.message.c_str(), entry.program.c_str(),
                  describeRatios(roundRatios(entry, *scan)).c_str());
  }
}

int missedTargets = 0;

// Judges the median of ratios (one a round, or a single ratio).
void printTarget(const std::string& what, const std::vector<double>& ratios, double target, bool atMost) {
  const double ratio = quantile(ratios, 0.5);
  const bool met = atMost ? ratio <= target : ratio >= target;
  if (!met) ++missedTargets;
  const std::string shown = ratios.size() > 1 ? describeRatios(ratios) : std::to_string(ratio).substr(0, 5);
  std::printf("  %-40s %-18s target %s %.2f  %s\n", what.c_str(), shown.c_str(), atMost ? "<=" : ">=", target,
              met ? "met" : "missed");
}

void printTargets(const std::vector<Case>& cases, const std::vector<BenchMessage>& messages) {
  std::printf("\nTargets (parse: time per message against the raw scan; write: MB/s of output against libxml2;\n"
              "median over the rounds of the ratio within a round, quartiles in brackets):\n");
  for (const BenchMessage& message : messages) {
    const Case* scan = findCase(cases, message.name, "scan");
    const Case* noOp = findCase(cases, message.name, "parse-noop");
    const Case* tree = findCase(cases, message.name, "parse-tree");
    printTarget(message.name + " parse no-op / scan", roundRatios(*noOp, *scan), 1.6, true);
    printTarget(message.name + " parse tree / scan", roundRatios(*tree, *scan), 1.8, true);
    for (const char* page : {"utf8", "cp500"}) {
      const Case* ours = findCase(cases, message.name, std::string("write-") + page);
      const Case* theirs = findCase(cases, message.name, std::string("libxml2-") + page);
      // MB/s against MB/s: the bytes written against the time taken.
      std::vector<double> ratios = roundRatios(*theirs, *ours);
      for (double& ratio : ratios) ratio *= static_cast<double>(ours->bytes) / static_cast<double>(theirs->bytes);
      printTarget(message.name + " write " + page + " / libxml2", ratios, 1.0, false);
    }
  }
}

// ---------------------------------------------------------------------------
// Threads: each thread its own sessions, trees and buffers over the shared
// message sets; every message parsed into a tree and written as UTF-8.

// One cache line per thread, written by its thread only, read after the join.
struct alignas(64) ThreadResult {
  long messages = 0;
  double cpuSeconds = 0;
};

class ThreadFlow {
public:
  explicit ThreadFlow(const std::vector<BenchMessage>& messages) {
    for (const BenchMessage& message : messages) flows_.push_back(std::make_unique<Flow>(message));
  }
  // Every message once.
  void runAll() {
    for (const std::unique_ptr<Flow>& flow : flows_) {
      flow->parser.parseToTree(flow->message.bytes, flow->tree);
      out_.clear();
      flow->writer.write(flow->tree, out_);
    }
  }

private:
  // A tree per message: a tree that changed its message set for each
  // message would name its elements anew each time.
  struct Flow {
    explicit Flow(const BenchMessage& source)
        : message(source), parser(source.set), writer(source.set, 1208), tree(wfxml::host::emptyMessage(source.set)) {}
    const BenchMessage& message;
    BenchParser parser;
    BenchWriter writer;
    wfxml::Message tree;
  };
  std::vector<std::unique_ptr<Flow>> flows_;
  WritableBitstreamBuffer out_;
};

struct ThreadRun {
  double messagesPerSecond;
  double messagesPerCpuSecond;
};

ThreadRun runThreads(const std::vector<BenchMessage>& messages, int threads, double seconds) {
  std::vector<ThreadResult> results(static_cast<std::size_t>(threads));
  std::atomic<int> ready{0};
  std::atomic<bool> go{false}, stop{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      ThreadFlow flow(messages);
      flow.runAll();  // warm
      ready.fetch_add(1);
      while (!go.load(std::memory_order_acquire)) std::this_thread::yield();
      const double start = threadCpuSeconds();
      long count = 0;
      while (!stop.load(std::memory_order_relaxed)) {
        flow.runAll();
        count += static_cast<long>(messages.size());
      }
      results[static_cast<std::size_t>(t)].messages = count;
      results[static_cast<std::size_t>(t)].cpuSeconds = threadCpuSeconds() - start;
    });
  }
  while (ready.load() < threads) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto start = std::chrono::steady_clock::now();
  go.store(true, std::memory_order_release);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  stop.store(true);
  for (std::thread& worker : workers) worker.join();
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  long total = 0;
  double cpu = 0;
  for (const ThreadResult& result : results) {
    total += result.messages;
    cpu += result.cpuSeconds;
  }
  return {static_cast<double>(total) / wall.count(), static_cast<double>(total) / cpu};
}

void printThreads(const std::vector<BenchMessage>& messages, int maxThreads, double seconds) {
  std::printf("\nThreads: each message of the set in turn parsed into a tree and written as UTF-8, %.0f s per run\n",
              seconds);
  std::printf("%8s %12s %12s %14s %14s\n", "threads", "msgs/s", "per thread", "msgs/CPU-s", "vs 1 thread");
  ThreadRun one{};
  for (int threads = 1; threads <= maxThreads; ++threads) {
    const ThreadRun run = runThreads(messages, threads, seconds);
    if (threads == 1) one = run;
    std::printf("%8d %12.0f %12.0f %14.0f %14.2f\n", threads, run.messagesPerSecond, run.messagesPerSecond / threads,
                run.messagesPerCpuSecond, run.messagesPerSecond / one.messagesPerSecond);
    if (threads == 2) {
      printTarget("2 threads / 1 thread, messages/s", {run.messagesPerSecond / one.messagesPerSecond}, 1.8, false);
      std::printf("  (CPU time per message with 2 threads / with 1: %.2f; above 1 means the threads slow each other)\n",
                  one.messagesPerCpuSecond / run.messagesPerCpuSecond);
    }
  }
}

// ---------------------------------------------------------------------------

struct Options {
  int threads = 0;
  int rounds = 200;
  double turn = 0.002;
  long repeat = 0;
  std::string only;      // MESSAGE/PROGRAM
  std::string programs;  // comma-separated; empty: every program
};

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: message_bench [--threads N] [--rounds R] [--turn-ms M] [--programs P,Q,...]\n"
               "                     [--repeat N --case MESSAGE/PROGRAM]\n");
  std::exit(2);
}

Options readOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) usage();
    const char* value = argv[++i];
    if (arg == "--threads")
      options.threads = std::atoi(value);
    else if (arg == "--rounds")
      options.rounds = std::atoi(value);
    else if (arg == "--turn-ms")
      options.turn = std::atof(value) / 1000;
    else if (arg == "--repeat")
      options.repeat = std::atol(value);
    else if (arg == "--case")
      options.only = value;
    else if (arg == "--programs")
      options.programs = value;
    else
      usage();
  }
  if (options.rounds < 1 || options.turn <= 0 || (options.repeat > 0) != !options.only.empty()) usage();
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = readOptions(argc, argv);
  xmlInitParser();
  std::printf("Load average at start: %s\n", loadAverage().c_str());
  const BenchMessages benchMessages(options.only.substr(0, options.only.find('/')));
  const std::vector<BenchMessage>& messages = benchMessages.messages();
  if (options.threads > 0) {
    printThreads(messages, options.threads, 3.0);
  } else {
    std::unique_ptr<xmlParserCtxt, XmlContextFree> libxml2(xmlNewParserCtxt());
    std::vector<std::unique_ptr<MessageFixture>> fixtures;
    std::vector<Case> cases;
    for (const BenchMessage& message : messages) {
      fixtures.push_back(std::make_unique<MessageFixture>(message, libxml2.get()));
      fixtures.back()->addCases(cases);
    }
    if (options.repeat > 0) {
      const auto slash = options.only.find('/');
      const Case* chosen = slash == std::string::npos
                               ? nullptr
                               : findCase(cases, options.only.substr(0, slash), options.only.substr(slash + 1));
      if (!chosen) usage();
      chosen->run();  // warm
      repeatCase(*chosen, options.repeat);
      return 0;
    }
    if (!options.programs.empty()) {
      // A subset: the table alone, no targets or threads.
      const std::string programs = "," + options.programs + ",";
      cases.erase(std::remove_if(cases.begin(), cases.end(),
                                 [&programs](const Case& entry) {
                                   return programs.find("," + entry.program + ",") == std::string::npos;
                                 }),
                  cases.end());
      measure(cases, options.rounds, options.turn);
      printTable(cases);
      printScanRatios(cases);
    } else {
      measure(cases, options.rounds, options.turn);
      printTable(cases);
      printTargets(cases, messages);
      printThreads(messages, 2, 2.0);
    }
  }
  std::printf("\nLoad average at end: %s\n", loadAverage().c_str());
  xmlCleanupParser();
  return 0;
}
