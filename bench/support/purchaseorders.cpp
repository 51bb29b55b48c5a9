#include "purchaseorders.h"

#include "benchsession.h"
#include "bitstreambuffer.h"
#include "messagetree.h"
#include "stddictionaryinfo.h"
#include "wfxml/host.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

namespace {

constexpr char kLineBatchSet[] = R"({ "name": "Bench",
  "types": [ { "name": "Line", "members": [
     { "name": "sku", "type": "string", "render": "attribute" },
     { "name": "name", "type": "string" },
     { "name": "qty", "type": "long" },
     { "name": "price", "type": "decimal" },
     { "name": "weight", "type": "double" },
     { "name": "gift", "type": "boolean" },
     { "name": "ship", "type": "date" } ] } ],
  "elements": [ { "name": "batch", "class": "message", "type": { "members": [
     { "name": "id", "type": "string", "render": "attribute" },
     { "name": "line", "type": "Line", "maxOccurs": "unbounded" } ] } } ] })";

constexpr char kOrderListSet[] = R"({
  "name": "Orders",
  "types": [
    { "name": "Line", "members": [
      { "name": "sku", "type": "string", "render": "attribute" },
      { "name": "qty", "type": "long" },
      { "name": "price", "type": "decimal" } ] },
    { "name": "Order", "members": [
      { "name": "id", "type": "long", "render": "attribute" },
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

PWFData text(const std::u16string& value) { return PWFData::makeString(value.data(), value.size()); }

std::u16string number(long value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// Builds order-list trees as the plug-in's parse of their documents would,
// from the rows of the set's dictionary.
class OrderTreeBuilder {
public:
  explicit OrderTreeBuilder(const wfxml::MessageSet& set) : descriptor_(*wfxml::host::dictionary(set)) {}
  // Empties message and fills it with that many orders.
  void build(wfxml::Message& message, long orders);

private:
  // The first type member of that name.
  long memberRow(std::u16string_view name);
  TreeElement& member(MessageTree& tree, TreeElement& parent, std::u16string_view name, PWFData value,
                      unsigned short kind = 1);

  const StdDictionaryInfo& descriptor_;
  std::map<std::u16string, long> rows_;
};

long OrderTreeBuilder::memberRow(std::u16string_view name) {
  auto found = rows_.find(std::u16string(name));
  if (found != rows_.end()) return found->second;
  for (long i = 0; i < descriptor_.getStructDefs().GetRowCount(); ++i) {
    const char16_t* rowName = descriptor_.getMemberName(i);
    if (rowName && name == rowName) return rows_[std::u16string(name)] = i;
  }
  std::abort();
}

TreeElement& OrderTreeBuilder::member(MessageTree& tree, TreeElement& parent, std::u16string_view name, PWFData value,
                                      unsigned short kind) {
  const long row = memberRow(name);
  const prf_SMD_TYPEMEMBER_DEFINITION& definition = descriptor_.getMemberCache().get(row);
  TreeElement& element = tree.appendChild(parent);
  element.setMemberIndex(row);
  element.setMemberId(definition.memberId);
  element.setTagIndex(definition.elementIndex);
  element.setTagId(definition.elementId > 0 ? definition.elementId : -1);
  element.setKind(kind);
  element.setValue(std::move(value));
  return element;
}

void OrderTreeBuilder::build(wfxml::Message& message, long orders) {
  MessageTree& tree = wfxml::host::tree(message);
  tree.clear();
  TreeElement& root = tree.createRoot();
  long tag = 0;
  while (tag < descriptor_.getTagDefs().GetRowCount() &&
         std::u16string_view(u"orders") != descriptor_.getTagName(tag))
    ++tag;
  root.setTagIndex(tag);
  root.setTagId(descriptor_.getTagCache().get(tag).tagId);
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
    member(tree, order, u"amount", PWFData::makeDecimal(ZelWstring(number(1000 + i % 9000) + u".5" + number(i % 10))));
    member(tree, order, u"weight", PWFData::makeFloat(12.5 + static_cast<double>(i % 1000) / 8));
    member(tree, order, u"express", PWFData::makeBoolean(i % 2 == 0));
    member(tree, order, u"note", text(u"Deliver to dock " + number(i % 9) + u" before noon <call ahead>"));
    for (long k = 0; k < OrderList::LINES_PER_ORDER; ++k) {
      TreeElement& line = member(tree, order, u"line", PWFData(), 3);
      member(tree, line, u"sku", text(u"A-" + number(i) + u"-" + number(k)));
      member(tree, line, u"qty", PWFData::makeInteger(k + 1));
      member(tree, line, u"price", PWFData::makeDecimal(ZelWstring(number(k + 9) + u".99")));
    }
  }
}

}  // namespace

std::string generateLineBatch(std::size_t targetBytes) {
  std::string document = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<batch id=\"B-1\">\n";
  char line[256];
  for (unsigned i = 0; document.size() < targetBytes; ++i) {
    std::snprintf(line, sizeof line,
                  "  <line sku=\"A-%06u\"><name>Product number %u</name><qty>%u</qty><price>%u.%02u</price>"
                  "<weight>%u.5</weight><gift>%s</gift><ship>2024-%02u-%02u</ship></line>\n",
                  i, i, i % 97, i % 1000, i % 100, i % 50, i % 3 ? "false" : "true", i % 12 + 1, i % 28 + 1);
    document += line;
  }
  return document + "</batch>\n";
}

const wfxml::MessageSet& lineBatchSet() {
  static const wfxml::MessageSet set = compileMessageSetJson(kLineBatchSet, "bench.json");
  return set;
}

const wfxml::MessageSet& orderListSet() {
  static const wfxml::MessageSet set = compileMessageSetJson(kOrderListSet, "orders");
  return set;
}

std::string generateOrderMessage(std::size_t targetBytes) {
  OrderTreeBuilder builder(orderListSet());
  BenchWriter writer(orderListSet(), 1208);
  wfxml::Message message = wfxml::host::emptyMessage(orderListSet());
  WritableBitstreamBuffer out;
  for (long orders = 1;; ++orders) {
    builder.build(message, orders);
    out.clear();
    writer.write(message, out);
    if (out.getLength() >= targetBytes) return std::string(out.bytes().begin(), out.bytes().end());
  }
}

const OrderList& OrderList::instance() {
  static const OrderList list;
  return list;
}

OrderList::OrderList()
    : message_(wfxml::host::emptyMessage(orderListSet())), smallMessage_(wfxml::host::emptyMessage(orderListSet())) {
  OrderTreeBuilder builder(orderListSet());
  builder.build(message_, ORDERS);
  builder.build(smallMessage_, 1);
  WritableBitstreamBuffer out;
  BenchWriter(orderListSet(), 1208).write(message_, out);
  document_ = out.bytes();
}

