// Generated purchase-order data for the benchmarks, with the dictionaries
// that describe it and workers set up as a host keeps them (one per flow,
// reused for every message). Everything is built in memory; nothing is read
// from disk.
//
// Two shapes:
// - the line batch (parse benchmark): one `batch` message of lines, each an
//   element with an attribute and seven typed children (string, integer,
//   decimal, double, boolean, date), ~130 bytes, nesting depth 3, about 60 %
//   markup;
// - the order list (write benchmark): an `orders` message tree of orders of
//   9 fields and 3 lines each (depth 4; two attributes per order and one per
//   line; strings with a Latin-1 accent and "&" and "<" to escape).
#ifndef BENCH_SUPPORT_PURCHASEORDERS_H
#define BENCH_SUPPORT_PURCHASEORDERS_H

#include "messageinfo.h"
#include "messagetree.h"
#include "xmldictionaryinfo.h"
#include "xmlworker.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class FIHandler;
class WritableBitstreamBuffer;

struct DescriptorRelease {
  void operator()(XMLDictionaryInfo* descriptor) const { descriptor->release(); }
};
using DescriptorPtr = std::unique_ptr<XMLDictionaryInfo, DescriptorRelease>;

// Compiles a message set given as JSON and loads the result as the plug-in
// loads a dictionary. Throws the compiler's ZelException on a bad set.
DescriptorPtr loadDescriptor(const char* messageSetJson, const char* sourceName);

// The line batch: lines are added while the text is shorter than
// targetBytes, so it ends a line past it.
std::string generateLineBatch(std::size_t targetBytes);
// The line batch's dictionary, loaded on first use.
const XMLDictionaryInfo& lineBatchDescriptor();

// A worker set up to parse, events to the handler given per parse.
class BenchParser {
public:
  // dictionary: null parses self-defining; else borrowed for the parser's life.
  explicit BenchParser(const XMLDictionaryInfo* dictionary);
  // Parses every message of bytes (borrowed for the call).
  void parse(const std::string& bytes, FIHandler& output);

private:
  ZelNamedLogSource owner_;
  MessageInfo properties_;
  XMLWorker worker_;
};

// A worker set up to write with a dictionary to one code page.
class BenchWriter {
public:
  // dictionary: borrowed for the writer's life.
  BenchWriter(const XMLDictionaryInfo& dictionary, long ccsid);
  // Appends the tree's document to out; returns what the worker's write returns.
  long write(const MessageTree& tree, WritableBitstreamBuffer& out);

private:
  ZelNamedLogSource owner_;
  MessageInfo properties_;
  XMLWorker worker_;
};

// The order list: its dictionary, a tree of 45,000 orders (about 20 MB of
// UTF-8), a tree of one order, and the large tree's document as the writer
// writes it in UTF-8. Built on first use, kept for the program's life.
class OrderList {
public:
  static constexpr long ORDERS = 45000;
  static constexpr long LINES_PER_ORDER = 3;

  static const OrderList& instance();

  const XMLDictionaryInfo& descriptor() const { return *descriptor_; }
  const MessageTree& tree() const { return tree_; }
  const MessageTree& smallTree() const { return smallTree_; }
  const std::vector<std::uint8_t>& document() const { return document_; }

private:
  OrderList();
  // The first type member of that name.
  long memberRow(std::u16string_view name);
  TreeElement& member(MessageTree& tree, TreeElement& parent, std::u16string_view name, PWFData value,
                      unsigned short kind = 1);
  void build(MessageTree& tree, long orders);

  DescriptorPtr descriptor_;
  std::map<std::u16string, long> rows_;
  MessageTree tree_;
  MessageTree smallTree_;
  std::vector<std::uint8_t> document_;
};

#endif
