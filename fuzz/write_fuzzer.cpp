// Random message trees written with each example dictionary (namespaces as
// the set says and switched off) and without one: elements of the set's
// messages and types in every render they have, self-defining elements and
// attributes with names and namespaces of their own, values of every logical
// type, nulls, and strings of any UTF-16 units, in UTF-8, UTF-16 and code
// pages that lack most characters (Latin-1, EBCDIC, Shift-JIS: what they lack
// is written as a reference or refused). The write either refuses the
// tree with a host exception, leaving the output buffer as it was, or gives
// a document that parses (it is well-formed) and in which every string value
// of the tree reads back unchanged.
#include "elementkinds.h"
#include "fuzzsupport.h"
#include "xmldictionaryinfo.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Elements per tree and nesting: enough for every shape, small enough for
// many runs a second.
constexpr int kMaxElements = 48;
constexpr int kMaxDepth = 5;
constexpr long kAnyNamelessMember = -2;
constexpr std::u16string_view kSchemaInstance = u"http://www.w3.org/2001/XMLSchema-instance";

// Builds one tree from the fuzzer's bytes and notes every string value the
// written document must give back.
class TreeMaker {
public:
  TreeMaker(FuzzedDataProvider& in, MessageTree& tree, const XMLDictionaryInfo* descriptor)
      : in_(in), tree_(tree), descriptor_(descriptor) {}

  void build() {
    const std::vector<long> messages = messageRows();
    if (descriptor_ && !messages.empty() && in_.ConsumeBool()) {
      const long row = messages[in_.ConsumeIntegralInRange<std::size_t>(0, messages.size() - 1)];
      TreeElement& root = tree_.createRoot();
      root.setTagIndex(row);
      root.setTagId(descriptor_->getTagCache().get(row).tagId);
      root.setKind(eKindMessage);
      children(root, descriptor_->getTagCache().get(row).typeIndex, 1);
      return;
    }
    TreeElement& root = tree_.createRoot();
    tree_.setName(root, name());
    root.setKind(eKindSelfDefiningMessage);
    children(root, -1, 1);
  }

  // The string values to find again, in no particular order.
  std::vector<std::u16string>& expected() { return expected_; }

private:
  std::vector<long> messageRows() const {
    std::vector<long> rows;
    if (!descriptor_) return rows;
    for (long i = 0; i < descriptor_->getTagDefs().GetRowCount(); ++i)
      if (descriptor_->getTagCache().get(i).tagClass == eTagClassMessage) rows.push_back(i);
    return rows;
  }

  std::vector<long> memberRows(long typeIndex) const {
    std::vector<long> rows;
    if (!descriptor_ || typeIndex < 0) return rows;
    for (long i = 0; i < descriptor_->getStructDefs().GetRowCount(); ++i) {
      const prf_SMD_TYPEMEMBER_DEFINITION& member = descriptor_->getMemberCache().get(i);
      if (member.containingTypeIndex == typeIndex && member.memberKind != DictCodes::eClassMessage) rows.push_back(i);
    }
    return rows;
  }

  bool hasMembers(long typeIndex) const { return !memberRows(typeIndex).empty(); }

  void children(TreeElement& parent, long typeIndex, int depth) {
    const int count = in_.ConsumeIntegralInRange(0, 5);
    // Attributes are unique within their element, as a parsed tree's are.
    std::vector<std::u16string> attributeNames;
    std::vector<long> onceMembers;
    for (int i = 0; i < count && elements_ < kMaxElements && in_.remaining_bytes() > 0; ++i) {
      ++elements_;
      switch (in_.ConsumeIntegralInRange(0, 3)) {
        case 0:
        case 1:
          if (definedChild(parent, typeIndex, depth, onceMembers)) break;
          [[fallthrough]];
        case 2: {
          TreeElement& child = tree_.appendChild(parent);
          tree_.setName(child, name());
          namespaceOf(child);
          // An element in the schema-instance namespace is written as an attribute.
          if (depth < kMaxDepth && child.getNamespaceURI() != kSchemaInstance && in_.ConsumeBool()) {
            child.setKind(eKindSelfDefiningStructure);
            children(child, -1, depth + 1);
          } else {
            child.setKind(eKindSelfDefiningField);
            leafValue(child);
          }
          break;
        }
        case 3: {
          const std::u16string attribute = u"z" + name();
          if (std::find(attributeNames.begin(), attributeNames.end(), attribute) != attributeNames.end()) break;
          attributeNames.push_back(attribute);
          TreeElement& child = tree_.appendChild(parent);
          tree_.setName(child, u"@" + attribute);
          namespaceOf(child);
          child.setKind(eKindSelfDefiningField);
          leafValue(child);
          break;
        }
      }
    }
  }

  // A member of the parent's type, a leaf with a value or a structure;
  // false when the type has none, or the member is an attribute or a
  // nameless value the parent has already (two values side by side would
  // read back as one text).
  bool definedChild(TreeElement& parent, long typeIndex, int depth, std::vector<long>& onceMembers) {
    const std::vector<long> rows = memberRows(typeIndex);
    if (rows.empty()) return false;
    const long row = rows[in_.ConsumeIntegralInRange<std::size_t>(0, rows.size() - 1)];
    const prf_SMD_TYPEMEMBER_DEFINITION& member = descriptor_->getMemberCache().get(row);
    const ERender render = descriptor_->getXMLTypeMemberDefinition(row).render;
    const bool attribute = render == erAttribute;
    if (attribute || render == erUndefined) {
      const long key = attribute ? row : kAnyNamelessMember;
      if (std::find(onceMembers.begin(), onceMembers.end(), key) != onceMembers.end()) return false;
      onceMembers.push_back(key);
    }
    TreeElement& child = tree_.appendChild(parent);
    child.setMemberIndex(row);
    child.setMemberId(member.memberId);
    child.setTagId(member.elementId > 0 ? member.elementId : -1);
    child.setTagIndex(member.elementIndex);
    if (!attribute && hasMembers(member.memberTypeIndex) && depth < kMaxDepth && in_.ConsumeBool()) {
      child.setKind(eKindStructure);
      children(child, member.memberTypeIndex, depth + 1);
    } else {
      child.setKind(eKindField);
      leafValue(child);
    }
    return true;
  }

  void namespaceOf(TreeElement& element) {
    if (!in_.ConsumeBool()) return;
    const long defined = descriptor_ ? descriptor_->getNamespaceDefs().GetRowCount() : 0;
    const long choice = in_.ConsumeIntegralInRange<long>(0, defined);
    if (choice < defined)
      tree_.setNamespaceURI(element, descriptor_->getNamespaceCache().get(choice).getURI().view());
    else
      tree_.setNamespaceURI(element, u"urn:fuzz:" + text(4, /*anyUnit=*/false));
  }

  // Names from a small alphabet of name characters, a few of them beyond
  // ASCII; now and then a unit no name may hold.
  std::u16string name() {
    static constexpr char16_t kStart[] = u"abcxyzAZ_\u00e9\u65e5";
    static constexpr char16_t kRest[] = u"abcxyz09-._\u00e9\u00b7\u0300";
    std::u16string result(1, kStart[in_.ConsumeIntegralInRange<std::size_t>(0, std::size(kStart) - 2)]);
    const std::size_t length = in_.ConsumeIntegralInRange<std::size_t>(0, 6);
    for (std::size_t i = 0; i < length; ++i)
      result += kRest[in_.ConsumeIntegralInRange<std::size_t>(0, std::size(kRest) - 2)];
    if (in_.ConsumeIntegralInRange(0, 15) == 0) result += static_cast<char16_t>(in_.ConsumeIntegral<std::uint16_t>());
    return result;
  }

  // Text of up to maxLength units: any unit at all, or printable ASCII.
  std::u16string text(std::size_t maxLength, bool anyUnit) {
    std::u16string result(in_.ConsumeIntegralInRange<std::size_t>(0, maxLength), u'a');
    for (char16_t& unit : result)
      unit = anyUnit && in_.ConsumeBool() ? static_cast<char16_t>(in_.ConsumeIntegral<std::uint16_t>())
                                          : static_cast<char16_t>(in_.ConsumeIntegralInRange(0x20, 0x7E));
    return result;
  }

  void leafValue(TreeElement& element) {
    switch (in_.ConsumeIntegralInRange(0, 9)) {
      case 0:
        break;  // no value
      case 1:
        element.setValue(PWFData::makeNull(static_cast<ELogicalType>(in_.PickValueInArray(
            {eLogicalString, eLogicalInteger, eLogicalDecimal, eLogicalBoolean, eLogicalBinary, eLogicalDateTime}))));
        break;
      case 2:
        element.setValue(PWFData::makeInteger(in_.ConsumeIntegral<std::int64_t>()));
        break;
      case 3:
        element.setValue(PWFData::makeFloat(in_.ConsumeFloatingPoint<double>()));
        break;
      case 4:
        element.setValue(PWFData::makeBoolean(in_.ConsumeBool()));
        break;
      case 5:
        element.setValue(PWFData::makeBinary(in_.ConsumeBytes<std::uint8_t>(in_.ConsumeIntegralInRange(0, 12))));
        break;
      case 6: {
        PWFDateTime value;
        if (in_.ConsumeBool()) {
          value.year = in_.ConsumeIntegralInRange(1, 9999);
          value.month = in_.ConsumeIntegralInRange(1, 12);
          value.day = in_.ConsumeIntegralInRange(1, 28);
        }
        if (in_.ConsumeBool()) {
          value.hour = in_.ConsumeIntegralInRange(0, 23);
          value.minute = in_.ConsumeIntegralInRange(0, 59);
          value.second = in_.ConsumeIntegralInRange(0, 59);
        }
        element.setValue(PWFData::makeDateTime(value));
        break;
      }
      default: {
        const std::u16string value = text(24, in_.ConsumeBool());
        element.setValue(PWFData::makeString(value.data(), value.size()));
        expected_.push_back(value);
        break;
      }
    }
  }

  FuzzedDataProvider& in_;
  MessageTree& tree_;
  const XMLDictionaryInfo* descriptor_;
  int elements_ = 1;
  std::vector<std::u16string> expected_;
};

// Every text of a tree parsed without dictionary: element values and the
// values of attributes (children named "@...").
void collectTexts(const TreeElement& element, std::vector<std::u16string>& texts) {
  const PWFData& value = element.getValue();
  if (!value.isNull() && !value.isNothing() && value.getDataLogicalType() == eLogicalString)
    texts.emplace_back(value.getStringValue(), value.getStringLength());
  for (const TreeElement* child = element.getFirstChild(); child; child = child->getNextSibling())
    collectTexts(*child, texts);
}

// Reports a finding; the document goes to written.xml (UTF-16 does not print).
[[noreturn]] void fail(const char* what, const std::string& detail, const std::vector<std::uint8_t>& written) {
  std::fprintf(stderr, "%s\n%s\nwritten: %zu bytes in written.xml\n", what, detail.c_str(), written.size());
  if (std::FILE* file = std::fopen("written.xml", "wb")) {
    std::fwrite(written.data(), 1, written.size(), file);
    std::fclose(file);
  }
  std::abort();
}

// A string the self-defining parse cannot give back as it is: an empty one
// (no text at all) or one of blanks only (whitespace between tags).
bool comparable(const std::u16string& value) {
  return value.find_first_not_of(u" \t\r\n") != std::u16string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::vector<DescriptorPtr>& descriptors = exampleDescriptors(true);
  const std::size_t choice = in.ConsumeIntegralInRange<std::size_t>(0, descriptors.size());
  const auto* descriptor =
      choice < descriptors.size() ? static_cast<const XMLDictionaryInfo*>(descriptors[choice].get()) : nullptr;
  static constexpr long kCodePages[] = {1208, 1200, 819, 37, 943};
  const long ccsid = kCodePages[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kCodePages) - 1)];

  MessageTree tree;
  TreeMaker maker(in, tree, descriptor);
  maker.build();

  static const ZelNamedLogSource owner("fuzz");
  static constexpr std::uint8_t kEarlier[] = {'k', 'e', 'p', 't'};
  WritableBitstreamBuffer out;
  out.append(kEarlier, sizeof kEarlier);
  {
    std::unique_ptr<BitstreamWorker> writer(workerFactory().createBitstreamWorker(&owner));
    if (descriptor) writer->setWireFormatDescriptor(descriptor);
    MessageInfo properties;
    properties.setIntegerProperty(u"ccsid", ccsid);
    bool refused = false;
    try {
      writer->initializeWrite(&properties, nullptr, nullptr, nullptr);
      writer->setFIMessageTree(&tree);
      writer->write(&out, nullptr, 0);
    } catch (const ZelException&) {
      refused = true;
    }
    if (descriptor) writer->release(false);
    if (refused) {
      if (out.getLength() != sizeof kEarlier) fail("a refused write changed the buffer", "", out.bytes());
      return 0;
    }
  }
  const std::vector<std::uint8_t> written(out.bytes().begin() + sizeof kEarlier, out.bytes().end());

  MessageInfo parseProperties;
  parseProperties.setIntegerProperty(u"ccsid", ccsid);
  MessageTree parsed;
  if (!parseInto(written.data(), written.size(), nullptr, parseProperties, parsed))
    fail("the written document is not well-formed", "", written);

  std::vector<std::u16string> texts;
  if (parsed.getRoot()) collectTexts(*parsed.getRoot(), texts);
  for (const std::u16string& value : maker.expected()) {
    if (!comparable(value)) continue;
    const auto found = std::find(texts.begin(), texts.end(), value);
    if (found == texts.end()) fail("a string value did not come back", ZelWstring(value).toUtf8(), written);
    texts.erase(found);
  }
  return 0;
}
