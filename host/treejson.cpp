// treeToJson and treeFromJson: the JSON form of a MessageTree (declared in
// messagetree.h). Output is written directly; input is read with nlohmann-json,
// whose parser and destructor do not recurse, and walked with an explicit stack.
#include "messagetree.h"

#include "tracetext.h"
#include "treeerror.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using Json = nlohmann::json;

constexpr const char* kFormatName = "message-tree";
constexpr long kFormatVersion = 1;
// Records of the parser have 1 or 6 properties; anything far beyond that is
// a damaged file, not a record.
constexpr std::size_t kMaxRecordProperties = 64;
// What the writer reads from the records it is given, in key order: a
// record without them would stop it with an internal error.
const std::vector<const char*> kStartMessageProperties{
    "the prefix text", "the standalone value", "the system identifier", "the public identifier",
    "the XML version", "the internal subset"};
const std::vector<const char*> kElementRecordProperties{"the prefix text"};
// JSON ignores white space, so indentation stops growing here and the file
// of a very deep tree stays linear in its size.
constexpr std::size_t kMaxIndentLevel = 32;

// ---------------------------------------------------------------- output

void appendIndent(std::string& out, std::size_t level) { out.append(2 * std::min(level, kMaxIndentLevel), ' '); }

void appendKey(std::string& out, const char* key) {
  out += ", \"";
  out += key;
  out += "\": ";
}

void appendInt(std::string& out, const char* key, std::int64_t value) {
  appendKey(out, key);
  out += std::to_string(value);
}

void appendOptionalId(std::string& out, const char* key, long value) {
  if (value != -1) appendInt(out, key, value);
}

void appendText(std::string& out, const char* key, const ZelWstring& text) {
  appendKey(out, key);
  TraceText::appendQuoted(out, text.data(), text.length());
}

// The integer fields of durations and date-times, with the values a file may give them.
template <typename Value>
struct IntField {
  const char* key;
  std::int32_t Value::*member;
  std::int32_t low;
  std::int32_t high;
};

constexpr IntField<PWFInterval> kIntervalFields[] = {
    {"years", &PWFInterval::years, 0, INT32_MAX},     {"months", &PWFInterval::months, 0, INT32_MAX},
    {"days", &PWFInterval::days, 0, INT32_MAX},       {"hours", &PWFInterval::hours, 0, INT32_MAX},
    {"minutes", &PWFInterval::minutes, 0, INT32_MAX}, {"seconds", &PWFInterval::seconds, 0, INT32_MAX},
};

constexpr IntField<PWFDateTime> kDateTimeFields[] = {
    {"year", &PWFDateTime::year, INT32_MIN + 1, INT32_MAX},  // INT32_MIN means unset
    {"month", &PWFDateTime::month, 1, 12},
    {"day", &PWFDateTime::day, 1, 31},
    {"hour", &PWFDateTime::hour, 0, 24},
    {"minute", &PWFDateTime::minute, 0, 59},
    {"second", &PWFDateTime::second, 0, 60},  // a leap second
};

template <typename Value, std::size_t N>
void appendFields(std::string& out, const Value& value, const IntField<Value> (&fields)[N]) {
  for (const auto& field : fields)
    if (value.*field.member != PWFDateTime::kUnset) appendInt(out, field.key, value.*field.member);
}

void appendDigits(std::string& out, const char* key, const std::string& text) {
  if (text.empty()) return;
  appendKey(out, key);
  TraceText::appendQuotedUtf8(out, text);
}

void appendValueJson(std::string& out, const PWFData& value) {
  out += "{\"type\": \"";
  out += logicalTypeName(value.getDataLogicalType());
  out += '"';
  if (value.isNothing()) {
    out += '}';
    return;
  }
  if (value.isNull()) {
    out += ", \"null\": true}";
    return;
  }
  switch (value.getDataLogicalType()) {
    case eLogicalNone:
    case eLogicalString:
    case eLogicalDecimal:
      appendKey(out, "text");
      TraceText::appendQuoted(out, value.getStringValue(), value.getStringLength());
      break;
    case eLogicalInteger: appendInt(out, "value", value.getIntegerValue()); break;
    case eLogicalFloat: {
      appendKey(out, "value");
      const double number = value.getFloatValue();
      if (std::isfinite(number)) {
        // A JSON number without point or exponent reads back as an integer,
        // which loses the sign of -0.
        const std::size_t start = out.size();
        TraceText::appendFloat(out, number);
        if (out.find_first_of(".e", start) == std::string::npos) out += ".0";
      } else {
        out += '"';
        TraceText::appendFloat(out, number);
        out += '"';
      }
      break;
    }
    case eLogicalBoolean:
      appendKey(out, "value");
      out += value.getBooleanValue() ? "true" : "false";
      break;
    case eLogicalBinary:
      appendKey(out, "hex");
      out += '"';
      TraceText::appendHex(out, value.getBinaryValue());
      out += '"';
      break;
    case eLogicalInterval: {
      const PWFInterval& interval = value.getIntervalValue();
      if (interval.negative) out += ", \"negative\": true";
      appendFields(out, interval, kIntervalFields);
      appendDigits(out, "fraction", interval.fraction);
      break;
    }
    case eLogicalDateTime: {
      const PWFDateTime& dateTime = value.getDateTimeValue();
      appendFields(out, dateTime, kDateTimeFields);
      appendDigits(out, "fraction", dateTime.fraction);
      appendDigits(out, "zone", dateTime.zone);
      break;
    }
  }
  out += '}';
}

void appendRecordJson(std::string& out, const WorkerInfo& record) {
  out += '[';
  const long count = record.getDataPropertyCount();
  for (long key = 0; key < count; ++key) {
    if (key > 0) out += ", ";
    appendValueJson(out, record.getDataProperty(key));
  }
  out += ']';
}

void appendRecord(std::string& out, const char* key, const WorkerInfoPtr& record) {
  if (!record) return;
  appendKey(out, key);
  appendRecordJson(out, *record);
}

// Everything of an element but its children, from "{" on; the object stays open.
void appendElementStart(std::string& out, const TreeElement& element) {
  out += "{\"kind\": ";
  out += std::to_string(element.getKind());
  if (!element.getName().empty()) appendText(out, "name", element.getName());
  if (!element.getNamespaceURI().empty()) appendText(out, "namespace", element.getNamespaceURI());
  appendOptionalId(out, "tagId", element.getTagId());
  appendOptionalId(out, "memberId", element.getMemberId());
  appendOptionalId(out, "tagIndex", element.getTagIndex());
  appendOptionalId(out, "memberIndex", element.getMemberIndex());
  appendOptionalId(out, "typeIndex", element.getTypeIndex());
  appendOptionalId(out, "itemTypeIndex", element.getItemTypeIndex());
  appendOptionalId(out, "valueTypeIndex", element.getValueTypeIndex());
  if (!element.getDictionaryRef().empty()) appendText(out, "dictionary", element.getDictionaryRef());
  if (element.isBitStream()) out += ", \"bitStream\": true";
  if (element.hasValue()) {
    appendKey(out, "value");
    appendValueJson(out, element.getValue());
  }
  appendRecord(out, "start", element.getStartInfo());
  appendRecord(out, "data", element.getDataInfo());
  appendRecord(out, "end", element.getEndInfo());
}

void appendElements(std::string& out, const TreeElement& root) {
  const TreeElement* element = &root;
  std::size_t level = 1;
  for (;;) {
    appendIndent(out, level);
    appendElementStart(out, *element);
    if (element->getFirstChild()) {
      out += ", \"children\": [\n";
      element = element->getFirstChild();
      ++level;
      continue;
    }
    out += '}';
    // Close every element whose last child this was, up to one with a next sibling.
    for (;;) {
      if (element == &root) return;
      if (element->getNextSibling()) {
        out += ",\n";
        element = element->getNextSibling();
        break;
      }
      element = element->getParent();
      --level;
      out += '\n';
      appendIndent(out, level);
      out += "]}";
    }
  }
}

// ---------------------------------------------------------------- input

// A record read from JSON: any number of data properties.
class JsonWorkerInfo final : public WorkerInfo {
public:
  explicit JsonWorkerInfo(std::size_t count) : properties_(count) {}
  const PWFData& getDataProperty(long key) const override {
    if (key < 0 || key >= getDataPropertyCount()) WorkerInfoErrors::keyOutOfRange("JsonWorkerInfo::getDataProperty", key);
    return properties_[key];
  }
  long getInt32Property(long) const override { WorkerInfoErrors::notSupported("JsonWorkerInfo::getInt32Property"); }
  void setProperty(long key, long) override { WorkerInfoErrors::keyOutOfRange("JsonWorkerInfo::setProperty", key); }
  void setProperty(long key, const PWFData& value) override {
    if (key < 0 || key >= getDataPropertyCount()) WorkerInfoErrors::keyOutOfRange("JsonWorkerInfo::setProperty", key);
    properties_[key] = value;
  }
  long getDataPropertyCount() const override { return static_cast<long>(properties_.size()); }

private:
  std::vector<PWFData> properties_;
};

bool isDigits(const std::string& text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// [+-]? (digits [. digits?] | . digits): the lexical form of xs:decimal.
bool isDecimalText(const std::string& text) {
  std::size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
  const std::size_t point = text.find('.', i);
  const std::string whole = text.substr(i, point == std::string::npos ? std::string::npos : point - i);
  const std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
  return isDigits(whole) && isDigits(fraction) && (!whole.empty() || !fraction.empty());
}

// "", "Z" or +hh:mm / -hh:mm with hh up to 14.
bool isZoneText(const std::string& zone) {
  if (zone.empty() || zone == "Z") return true;
  if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':') return false;
  if (!isDigits(zone.substr(1, 2)) || !isDigits(zone.substr(4, 2))) return false;
  const int hours = std::stoi(zone.substr(1, 2));
  const int minutes = std::stoi(zone.substr(4, 2));
  return hours <= 14 && minutes <= 59 && (hours < 14 || minutes == 0);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

class TreeJsonReader {
public:
  explicit TreeJsonReader(MessageTree& tree) : tree_(tree) {}

  void read(const Json& document) {
    if (!document.is_object()) fail("", "the document must be an object");
    // Typed JSON, given here by mistake, has neither key.
    if (!member(document, "format") && !member(document, "root"))
      fail(".format", std::string("missing: a message tree (as wfhost parse --json prints it) starts {\"format\": \"") +
                          kFormatName + "\", ...}; typed JSON converts to XML with wfhost convert");
    for (const auto& [key, value] : document.items()) {
      if (key != "format" && key != "version" && key != "startMessage" && key != "endMessage" && key != "root")
        fail("." + key, "unknown key");
    }
    const Json* format = member(document, "format");
    if (!format || !format->is_string() || format->get<std::string>() != kFormatName)
      fail(".format", std::string("must be \"") + kFormatName + "\"");
    const Json* version = member(document, "version");
    if (!version || !version->is_number_integer() || version->get<std::int64_t>() != kFormatVersion)
      fail(".version", "must be " + std::to_string(kFormatVersion));
    if (const Json* record = member(document, "startMessage"))
      tree_.setStartMsgInfo(readRecord(*record, ".startMessage", kStartMessageProperties));
    if (const Json* record = member(document, "endMessage")) tree_.setEndMsgInfo(readRecord(*record, ".endMessage"));
    const Json* root = member(document, "root");
    if (root && !root->is_null()) readElements(*root);
  }

private:
  struct Frame {
    const Json* children;
    std::size_t next;
    TreeElement* parent;
  };

  // The path of the element being read (or of the document outside the
  // elements), then suffix. Built only for an error: deep trees would make
  // it costly to keep.
  std::string pathTo(const std::string& suffix) const {
    if (!inElements_) return "$" + suffix;
    std::string path = "$.root";
    for (std::size_t index : childIndexes_) path += ".children[" + std::to_string(index) + "]";
    return path + suffix;
  }

  [[noreturn]] void fail(const std::string& suffix, const std::string& problem) const {
    throwTreeError(__FILE__, __LINE__, "treeFromJson", pathTo(suffix), problem);
  }

  static const Json* member(const Json& object, const char* key) {
    auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
  }

  std::int64_t readInteger(const Json& value, const std::string& path, std::int64_t low, std::int64_t high) const {
    if (!value.is_number_integer()) fail(path, "must be an integer");
    if (value.is_number_unsigned() && value.get<std::uint64_t>() > static_cast<std::uint64_t>(high))
      fail(path, "out of range");
    const std::int64_t number = value.get<std::int64_t>();
    if (number < low || number > high) fail(path, "out of range");
    return number;
  }

  std::string readString(const Json& value, const std::string& path) const {
    if (!value.is_string()) fail(path, "must be a string");
    return value.get<std::string>();
  }

  static ELogicalType logicalTypeNamed(const std::string& name, bool& known) {
    static const ELogicalType types[] = {eLogicalNone,    eLogicalString,   eLogicalInteger,
                                         eLogicalFloat,   eLogicalBinary,   eLogicalBoolean,
                                         eLogicalInterval, eLogicalDateTime, eLogicalDecimal};
    for (ELogicalType type : types) {
      if (name == logicalTypeName(type)) {
        known = true;
        return type;
      }
    }
    known = false;
    return eLogicalNone;
  }

  // Every key of object must be one of allowed.
  void checkKeys(const Json& object, const std::string& path, std::initializer_list<const char*> allowed) const {
    for (const auto& item : object.items()) {
      bool ok = false;
      for (const char* key : allowed) ok = ok || item.key() == key;
      if (!ok) fail(path + "." + item.key(), "unknown key");
    }
  }

  template <typename Value, std::size_t N>
  void readFields(const Json& object, const std::string& path, Value& value,
                  const IntField<Value> (&fields)[N]) const {
    for (const auto& field : fields) {
      const Json* found = member(object, field.key);
      if (found)
        value.*field.member =
            static_cast<std::int32_t>(readInteger(*found, path + "." + field.key, field.low, field.high));
    }
  }

  std::string readDigits(const Json& object, const char* key, const std::string& path) const {
    const Json* field = member(object, key);
    if (!field) return std::string();
    std::string digits = readString(*field, path + "." + key);
    if (!isDigits(digits)) fail(path + "." + key, "must be decimal digits");
    return digits;
  }

  PWFData readValue(const Json& value, const std::string& path) const {
    if (!value.is_object()) fail(path, "a value must be an object");
    const Json* typeName = member(value, "type");
    if (!typeName) fail(path + ".type", "missing");
    bool known = false;
    const ELogicalType type = logicalTypeNamed(readString(*typeName, path + ".type"), known);
    if (!known) fail(path + ".type", "unknown logical type");

    if (const Json* null = member(value, "null")) {
      checkKeys(value, path, {"type", "null"});
      if (!null->is_boolean() || !null->get<bool>()) fail(path + ".null", "must be true when present");
      if (type == eLogicalNone) fail(path + ".null", "a value of type None cannot be null");
      return PWFData::makeNull(type);
    }
    switch (type) {
      case eLogicalNone: {
        checkKeys(value, path, {"type", "text"});
        const Json* text = member(value, "text");
        if (!text) return PWFData();
        const ZelWstring raw = ZelWstring::fromUtf8(readString(*text, path + ".text"));
        return PWFData::makeUntyped(raw.data(), raw.length());
      }
      case eLogicalString: {
        checkKeys(value, path, {"type", "text"});
        return PWFData::makeString(ZelWstring::fromUtf8(readString(required(value, "text", path), path + ".text")));
      }
      case eLogicalDecimal: {
        checkKeys(value, path, {"type", "text"});
        const std::string text = readString(required(value, "text", path), path + ".text");
        if (!isDecimalText(text)) fail(path + ".text", "not a decimal number");
        return PWFData::makeDecimal(ZelWstring::fromUtf8(text));
      }
      case eLogicalInteger:
        checkKeys(value, path, {"type", "value"});
        return PWFData::makeInteger(readInteger(required(value, "value", path), path + ".value",
                                                std::numeric_limits<std::int64_t>::min(),
                                                std::numeric_limits<std::int64_t>::max()));
      case eLogicalFloat: return readFloat(value, path);
      case eLogicalBoolean: {
        checkKeys(value, path, {"type", "value"});
        const Json& flag = required(value, "value", path);
        if (!flag.is_boolean()) fail(path + ".value", "must be true or false");
        return PWFData::makeBoolean(flag.get<bool>());
      }
      case eLogicalBinary: return readBinary(value, path);
      case eLogicalInterval: return readInterval(value, path);
      case eLogicalDateTime: return readDateTime(value, path);
    }
    fail(path + ".type", "unknown logical type");
  }

  const Json& required(const Json& object, const char* key, const std::string& path) const {
    const Json* found = member(object, key);
    if (!found) fail(path + "." + key, "missing");
    return *found;
  }

  PWFData readFloat(const Json& value, const std::string& path) const {
    checkKeys(value, path, {"type", "value"});
    const Json& number = required(value, "value", path);
    if (number.is_number()) return PWFData::makeFloat(number.get<double>());
    if (number.is_string()) {
      const std::string text = number.get<std::string>();
      if (text == "INF") return PWFData::makeFloat(std::numeric_limits<double>::infinity());
      if (text == "-INF") return PWFData::makeFloat(-std::numeric_limits<double>::infinity());
      if (text == "NaN") return PWFData::makeFloat(std::numeric_limits<double>::quiet_NaN());
    }
    fail(path + ".value", "must be a number, \"INF\", \"-INF\" or \"NaN\"");
  }

  PWFData readBinary(const Json& value, const std::string& path) const {
    checkKeys(value, path, {"type", "hex"});
    const std::string hex = readString(required(value, "hex", path), path + ".hex");
    if (hex.size() % 2 != 0) fail(path + ".hex", "odd number of hexadecimal digits");
    std::vector<std::uint8_t> bytes(hex.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const int high = hexDigit(hex[2 * i]);
      const int low = hexDigit(hex[2 * i + 1]);
      if (high < 0 || low < 0) fail(path + ".hex", "not a hexadecimal digit at offset " + std::to_string(2 * i));
      bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return PWFData::makeBinary(std::move(bytes));
  }

  PWFData readInterval(const Json& value, const std::string& path) const {
    checkKeys(value, path, {"type", "negative", "years", "months", "days", "hours", "minutes", "seconds", "fraction"});
    PWFInterval interval;
    if (const Json* negative = member(value, "negative")) {
      if (!negative->is_boolean()) fail(path + ".negative", "must be true or false");
      interval.negative = negative->get<bool>();
    }
    readFields(value, path, interval, kIntervalFields);
    interval.fraction = readDigits(value, "fraction", path);
    return PWFData::makeInterval(interval);
  }

  PWFData readDateTime(const Json& value, const std::string& path) const {
    checkKeys(value, path, {"type", "year", "month", "day", "hour", "minute", "second", "fraction", "zone"});
    PWFDateTime dateTime;
    readFields(value, path, dateTime, kDateTimeFields);
    dateTime.fraction = readDigits(value, "fraction", path);
    if (const Json* zone = member(value, "zone")) {
      dateTime.zone = readString(*zone, path + ".zone");
      if (!isZoneText(dateTime.zone)) fail(path + ".zone", "must be \"Z\", \"+hh:mm\" or \"-hh:mm\"");
    }
    return PWFData::makeDateTime(dateTime);
  }

  // required: what a writer reads from the record, one name per property
  // from the first.
  WorkerInfoPtr readRecord(const Json& record, const std::string& path,
                           const std::vector<const char*>& required = {}) const {
    if (record.is_null()) return WorkerInfoPtr();
    if (!record.is_array()) fail(path, "a record must be an array of values");
    if (record.size() > kMaxRecordProperties)
      fail(path, "more than " + std::to_string(kMaxRecordProperties) + " properties");
    WorkerInfoPtr result(new JsonWorkerInfo(record.size()));
    for (std::size_t key = 0; key < record.size(); ++key)
      result->setProperty(static_cast<long>(key), readValue(record[key], path + "[" + std::to_string(key) + "]"));
    if (record.size() < required.size()) {
      std::string names;
      for (const char* name : required) names += (names.empty() ? "" : ", ") + std::string(name);
      fail(path, "the record lacks " + std::string(required[record.size()]) + " (it holds, in order: " + names +
                     "; this one has " + std::to_string(record.size()) + " of them)");
    }
    return result;
  }

  long readId(const Json& element, const char* key) const {
    const Json* id = member(element, key);
    if (!id) return -1;
    return static_cast<long>(readInteger(*id, std::string(".") + key, LONG_MIN, LONG_MAX));
  }

  // Fills element from its JSON object; returns its children, or null.
  const Json* readElement(const Json& object, TreeElement& element) {
    if (!object.is_object()) fail("", "an element must be an object");
    checkKeys(object, "",
              {"kind", "name", "namespace", "tagId", "memberId", "tagIndex", "memberIndex", "typeIndex",
               "itemTypeIndex", "valueTypeIndex", "dictionary", "bitStream", "value", "start", "data", "end",
               "children"});
    const Json* kind = member(object, "kind");
    if (!kind) fail(".kind", "missing");
    element.setKind(static_cast<unsigned short>(readInteger(*kind, ".kind", 0, 0xFFFF)));
    if (const Json* name = member(object, "name"))
      tree_.setName(element, ZelWstring::fromUtf8(readString(*name, ".name")).view());
    if (const Json* uri = member(object, "namespace"))
      tree_.setNamespaceURI(element, ZelWstring::fromUtf8(readString(*uri, ".namespace")).view());
    if (const Json* reference = member(object, "dictionary"))
      tree_.setDictionaryRef(element, ZelWstring::fromUtf8(readString(*reference, ".dictionary")).view());
    element.setTagId(readId(object, "tagId"));
    element.setMemberId(readId(object, "memberId"));
    element.setTagIndex(readId(object, "tagIndex"));
    element.setMemberIndex(readId(object, "memberIndex"));
    element.setTypeIndex(readId(object, "typeIndex"));
    element.setItemTypeIndex(readId(object, "itemTypeIndex"));
    element.setValueTypeIndex(readId(object, "valueTypeIndex"));
    if (const Json* value = member(object, "value")) element.setValue(readValue(*value, ".value"));
    if (const Json* bitStream = member(object, "bitStream")) {
      if (!bitStream->is_boolean()) fail(".bitStream", "must be true or false");
      if (bitStream->get<bool>() && element.getValue().getDataLogicalType() != eLogicalBinary)
        fail(".bitStream", "an unparsed bitstream needs a Binary value");
      element.setBitStream(bitStream->get<bool>());
    }
    if (const Json* record = member(object, "start"))
      element.setStartInfo(readRecord(*record, ".start", kElementRecordProperties));
    if (const Json* record = member(object, "data"))
      element.setDataInfo(readRecord(*record, ".data", kElementRecordProperties));
    if (const Json* record = member(object, "end"))
      element.setEndInfo(readRecord(*record, ".end", kElementRecordProperties));
    const Json* children = member(object, "children");
    if (children && !children->is_array()) fail(".children", "must be an array of elements");
    return children && !children->empty() ? children : nullptr;
  }

  void readElements(const Json& rootObject) {
    inElements_ = true;
    TreeElement& root = tree_.createRoot();
    std::vector<Frame> stack;
    if (const Json* children = readElement(rootObject, root)) stack.push_back(Frame{children, 0, &root});
    // childIndexes_ holds the path to the parent of the children being read.
    while (!stack.empty()) {
      Frame& frame = stack.back();
      if (frame.next == frame.children->size()) {
        stack.pop_back();
        if (!childIndexes_.empty()) childIndexes_.pop_back();
        continue;
      }
      const std::size_t index = frame.next++;
      const Json& childObject = (*frame.children)[index];
      TreeElement& child = tree_.appendChild(*frame.parent);
      childIndexes_.push_back(index);
      if (const Json* children = readElement(childObject, child))
        stack.push_back(Frame{children, 0, &child});
      else
        childIndexes_.pop_back();
    }
    inElements_ = false;
  }

  MessageTree& tree_;
  bool inElements_ = false;
  std::vector<std::size_t> childIndexes_;
};

}  // namespace

std::string treeToJson(const MessageTree& tree) {
  std::string out = "{\"format\": \"";
  out += kFormatName;
  out += "\", \"version\": " + std::to_string(kFormatVersion);
  appendRecord(out, "startMessage", tree.getStartMsgInfo());
  appendRecord(out, "endMessage", tree.getEndMsgInfo());
  if (tree.getRoot()) {
    out += ",\n\"root\":\n";
    appendElements(out, *tree.getRoot());
  }
  out += "\n}\n";
  return out;
}

void treeFromJson(std::string_view json, MessageTree& tree) {
  tree.clear();
  Json document;
  try {
    document = Json::parse(json.begin(), json.end());
  } catch (const Json::exception& e) {  // syntax errors and numbers out of range
    // "[json.exception.parse_error.101] parse error at line 1, column 1: ...": the library's tag left out.
    std::string what = e.what();
    if (const std::size_t tag = what.find("] "); what.rfind("[json.exception.", 0) == 0 && tag != std::string::npos)
      what.erase(0, tag + 2);
    // An XML document, given here by mistake, is written again by parsing it.
    const std::size_t first = json.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (first != std::string_view::npos && json[first] == '<')
      what += " (the input is XML: a message tree is JSON, as wfhost parse --json prints it; wfhost roundtrip "
              "parses and writes a document)";
    throwTreeError(__FILE__, __LINE__, "treeFromJson", "$", "not valid JSON: " + what);
  }
  try {
    TreeJsonReader(tree).read(document);
  } catch (...) {
    tree.clear();
    throw;
  }
}
