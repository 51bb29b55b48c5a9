// Writing a message tree as XML, side by side with libxml2 and pugixml
// serializing the same document from their own trees.
//
// Data, generated in the set-up: a typed purchase-order document of about
// 20 MB (45,000 orders of 9 fields and 3 lines each; depth 4; two attributes
// per order and one per line; ~45% of the bytes are markup, the rest values:
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
#include "messageinfo.h"
#include "messagesetcompiler.h"
#include "messagesetjson.h"
#include "messagetree.h"
#include "xmldictionaryinfo.h"
#include "xmlworker.h"

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

constexpr long ORDERS = 45000;
constexpr long LINES_PER_ORDER = 3;

constexpr char kOrdersSet[] = R"({
  "name": "Orders",
  "types": [
    { "name": "Line", "members": [
      { "name": "sku", "type": "string", "render": "attribute" },
      { "name": "qty", "type": "integer" },
      { "name": "price", "type": "decimal" } ] },
    { "name": "Order", "members": [
      { "name": "id", "type": "integer", "render": "attribute" },
      { "name": "status", "type": "string", "render": "attribute" },
      { "name": "customer", "type": "string" },
      { "name": "placed", "type": "dateTime" },
      { "name": "amount", "type": "decimal" },
      { "name": "weight", "type": "double" },
      { "name": "express", "type": "boolean" },
      { "name": "note", "type": "string" },
      { "name": "line", "type": "Line", "maxOccurs": "unbounded" } ] } ],
  "elements": [ { "name": "orders", "class": "message", "type": { "members": [
    { "name": "order", "type": "Order", "maxOccurs": "unbounded" } ] } } ]
})";

struct DescriptorRelease {
  void operator()(XMLDictionaryInfo* descriptor) const { descriptor->release(); }
};

// The descriptor, the tree and the document it stands for, built once.
class Fixture {
public:
  static Fixture& instance() {
    static Fixture fixture;
    return fixture;
  }

  const XMLDictionaryInfo& descriptor() const { return *descriptor_; }
  const MessageTree& tree() const { return tree_; }
  const MessageTree& smallTree() const { return smallTree_; }
  // The UTF-8 document, as our writer writes the tree.
  const std::vector<std::uint8_t>& document() const { return document_; }

private:
  Fixture() {
    const std::vector<unsigned char> extract =
        compileMessageSetToExtract(parseMessageSetJson(kOrdersSet, "orders"), "orders");
    descriptor_.reset(new XMLDictionaryInfo(0));
    descriptor_->FromExtractFormat(nullptr, extract.data(), extract.size());
    descriptor_->postProcessDictionary();
    build(tree_, ORDERS);
    build(smallTree_, 1);
  }

  // The first type member of that name.
  long memberRow(std::u16string_view name) {
    auto found = rows_.find(std::u16string(name));
    if (found != rows_.end()) return found->second;
    for (long i = 0; i < descriptor_->getStructDefs().GetRowCount(); ++i) {
      const char16_t* rowName = descriptor_->getMemberName(i);
      if (rowName && name == rowName) return rows_[std::u16string(name)] = i;
    }
    std::abort();
  }

  TreeElement& member(MessageTree& tree, TreeElement& parent, std::u16string_view name, PWFData value,
                      unsigned short kind = 1) {
    const long row = memberRow(name);
    const prf_SMD_TYPEMEMBER_DEFINITION& definition = descriptor_->getMemberCache().get(row);
    TreeElement& element = tree.appendChild(parent);
    element.setMemberIndex(row);
    element.setMemberId(definition.memberId);
    element.setTagIndex(definition.elementIndex);
    element.setTagId(definition.elementId > 0 ? definition.elementId : -1);
    element.setKind(kind);
    element.setValue(std::move(value));
    return element;
  }

  static PWFData text(const std::u16string& value) { return PWFData::makeString(value.data(), value.size()); }
  static std::u16string number(long value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
  }

  void build(MessageTree& tree, long orders) {
    TreeElement& root = tree.createRoot();
    long tag = 0;
    while (tag < descriptor_->getTagDefs().GetRowCount() &&
           std::u16string_view(u"orders") != descriptor_->getTagName(tag))
      ++tag;
    root.setTagIndex(tag);
    root.setTagId(descriptor_->getTagCache().get(tag).tagId);
    root.setKind(6);
    for (long i = 0; i < orders; ++i) {
      TreeElement& order = member(tree, root, u"order", PWFData(), 3);
      member(tree, order, u"id", PWFData::makeInteger(100000 + i));
      member(tree, order, u"status", text(i % 3 ? u"open" : u"shipped"));
      member(tree, order, u"customer", text(u"M\u00fcller & S\u00f6hne GmbH " + number(i % 977)));
      PWFDateTime placed;
      placed.year = 2024;
      placed.month = 1 + i % 12;
      placed.day = 1 + i % 28;
      placed.hour = i % 24;
      placed.minute = i % 60;
      placed.second = 0;
      placed.zone = "Z";
      member(tree, order, u"placed", PWFData::makeDateTime(placed));
      member(tree, order, u"amount",
             PWFData::makeDecimal(ZelWstring(number(1000 + i % 9000) + u".5" + number(i % 10))));
      member(tree, order, u"weight", PWFData::makeFloat(12.5 + static_cast<double>(i % 1000) / 8));
      member(tree, order, u"express", PWFData::makeBoolean(i % 2 == 0));
      member(tree, order, u"note", text(u"Deliver to dock " + number(i % 9) + u" before noon <call ahead>"));
      for (long k = 0; k < LINES_PER_ORDER; ++k) {
        TreeElement& line = member(tree, order, u"line", PWFData(), 3);
        member(tree, line, u"sku", text(u"A-" + number(i) + u"-" + number(k)));
        member(tree, line, u"qty", PWFData::makeInteger(k + 1));
        member(tree, line, u"price", PWFData::makeDecimal(ZelWstring(number(k + 9) + u".99")));
      }
    }
    if (orders == ORDERS) {
      WritableBitstreamBuffer out;
      Writer writer(*this, 1208);
      writer.write(tree, out);
      document_ = out.bytes();
    }
  }

public:
  // A worker set up to write with the descriptor to one code page.
  class Writer {
  public:
    Writer(const Fixture& fixture, long ccsid) : owner_("bench"), worker_(&owner_) {
      properties_.setIntegerProperty(ZelWstring(MI_CCSID_STR), ccsid);
      worker_.setWireFormatDescriptor(fixture.descriptor_.get());
      worker_.initializeWrite(&properties_, nullptr, nullptr, nullptr);
    }
    long write(const MessageTree& tree, WritableBitstreamBuffer& out) {
      worker_.setFIMessageTree(&tree);
      return worker_.write(&out, nullptr, 0);
    }

  private:
    ZelNamedLogSource owner_;
    MessageInfo properties_;
    XMLWorker worker_;
  };

private:
  std::unique_ptr<XMLDictionaryInfo, DescriptorRelease> descriptor_;
  std::map<std::u16string, long> rows_;
  MessageTree tree_;
  MessageTree smallTree_;
  std::vector<std::uint8_t> document_;
};

void setRate(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Fixture::instance().document().size()));
}

void BM_Ours(benchmark::State& state, long ccsid) {
  Fixture& fixture = Fixture::instance();
  Fixture::Writer writer(fixture, ccsid);
  WritableBitstreamBuffer out;
  out.reserve(fixture.document().size() + fixture.document().size() / 4);
  for (auto _ : state) {
    out.clear();
    writer.write(fixture.tree(), out);
    benchmark::DoNotOptimize(out.getData());
  }
  setRate(state);
  state.counters["output_MB"] = static_cast<double>(out.getLength()) / 1e6;
}

// The fixed cost of one write: a message of one order (about 600 bytes).
void BM_OursSmallMessage(benchmark::State& state) {
  Fixture& fixture = Fixture::instance();
  Fixture::Writer writer(fixture, 1208);
  WritableBitstreamBuffer out;
  for (auto _ : state) {
    out.clear();
    writer.write(fixture.smallTree(), out);
    benchmark::DoNotOptimize(out.getData());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.getLength()));
}

struct XmlDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

std::unique_ptr<xmlDoc, XmlDocFree> libxml2Document() {
  const std::vector<std::uint8_t>& document = Fixture::instance().document();
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
  const std::vector<std::uint8_t>& document = Fixture::instance().document();
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
                static_cast<double>(Fixture::instance().document().size()) / 1e6);
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
