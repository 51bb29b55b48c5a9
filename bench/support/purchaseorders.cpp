#include "purchaseorders.h"

#include "bitstreambuffer.h"
#include "messagesetcompiler.h"
#include "messagesetjson.h"

#include <cstdio>
#include <cstdlib>
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

}  // namespace

DescriptorPtr loadDescriptor(const char* messageSetJson, const char* sourceName) {
  const std::vector<unsigned char> extract =
      compileMessageSetToExtract(parseMessageSetJson(messageSetJson, sourceName), sourceName);
  DescriptorPtr loaded(new XMLDictionaryInfo(0));
  loaded->FromExtractFormat(nullptr, extract.data(), extract.size());
  loaded->postProcessDictionary();
  return loaded;
}

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

const XMLDictionaryInfo& lineBatchDescriptor() {
  static const DescriptorPtr dictionary = loadDescriptor(kLineBatchSet, "bench.json");
  return *dictionary;
}

BenchParser::BenchParser(const XMLDictionaryInfo* dictionary) : owner_("bench"), worker_(&owner_) {
  if (dictionary) worker_.setWireFormatDescriptor(dictionary);
  worker_.initializeParse(-1, &properties_, 0);
}

void BenchParser::parse(const std::string& bytes, FIHandler& output) {
  worker_.setFIHandler(&output);
  const BitstreamBuffer buffer(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  worker_.parseFirst(&buffer, nullptr, false, 0, -1);
  while (worker_.hasNext()) worker_.parseNext();
}

BenchWriter::BenchWriter(const XMLDictionaryInfo& dictionary, long ccsid) : owner_("bench"), worker_(&owner_) {
  properties_.setIntegerProperty(ZelWstring(MI_CCSID_STR), ccsid);
  worker_.setWireFormatDescriptor(&dictionary);
  worker_.initializeWrite(&properties_, nullptr, nullptr, nullptr);
}

long BenchWriter::write(const MessageTree& tree, WritableBitstreamBuffer& out) {
  worker_.setFIMessageTree(&tree);
  return worker_.write(&out, nullptr, 0);
}

const OrderList& OrderList::instance() {
  static const OrderList list;
  return list;
}

OrderList::OrderList() : descriptor_(loadDescriptor(kOrderListSet, "orders")) {
  build(tree_, ORDERS);
  build(smallTree_, 1);
  WritableBitstreamBuffer out;
  BenchWriter(*descriptor_, 1208).write(tree_, out);
  document_ = out.bytes();
}

long OrderList::memberRow(std::u16string_view name) {
  auto found = rows_.find(std::u16string(name));
  if (found != rows_.end()) return found->second;
  for (long i = 0; i < descriptor_->getStructDefs().GetRowCount(); ++i) {
    const char16_t* rowName = descriptor_->getMemberName(i);
    if (rowName && name == rowName) return rows_[std::u16string(name)] = i;
  }
  std::abort();
}

TreeElement& OrderList::member(MessageTree& tree, TreeElement& parent, std::u16string_view name, PWFData value,
                               unsigned short kind) {
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

void OrderList::build(MessageTree& tree, long orders) {
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
    member(tree, order, u"amount", PWFData::makeDecimal(ZelWstring(number(1000 + i % 9000) + u".5" + number(i % 10))));
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
}
