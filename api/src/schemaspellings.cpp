#include "schemaspellings.h"

#include "base64converter.h"
#include "contentcheck.h"
#include "datacnv.h"
#include "messagetree.h"
#include "schemaview.h"
#include "treeassembly.h"
#include "utf8.h"
#include "zelexception.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wfxml::detail {
namespace {

constexpr int kMaxDerivationSteps = 64;  // a bound on a cycle of bases a dictionary might hold

bool isAnonymous(const TreeElement& element) {
  return element.getTagId() < 0 && element.getMemberId() < 1 && element.getName().empty();
}

// The fixed value of the declaration the element was matched to, or null.
const std::string* fixedValueOf(const SchemaView& view, const TreeElement& element) {
  const SchemaMember* member = view.memberOf(element);
  const SchemaElement* declaration = view.element(member ? member->tagRow : element.getTagIndex());
  return declaration && declaration->fixedValue ? &*declaration->fixedValue : nullptr;
}

// A value as typed data carry it, where that may be read back as another
// member of a union (a float 1.0 as the number 1, which xs:boolean takes).
std::optional<GivenValue> givenOf(const PWFData& value) {
  switch (value.getDataLogicalType()) {
    case eLogicalBoolean: return GivenValue::ofBoolean(value.getBooleanValue());
    case eLogicalInteger: return GivenValue::ofInteger(value.getIntegerValue());
    case eLogicalFloat: return GivenValue::ofNumber(value.getFloatValue());
    default: return std::nullopt;
  }
}

// Binary text in either spelling a document may use for its bytes: the
// writer keeps a lexical form only where it suits the element's encoding.
bool spellsBytes(std::string_view text, const std::vector<std::uint8_t>& bytes) {
  thread_local const DataCnv convert(1200, 0, 1, 53, nullptr, false, nullptr, 0, true, 53, false, 0, nullptr);
  const ZelWstring wide = ZelWstring::fromUtf8(std::string(text));
  try {
    if (text.size() == 2 * bytes.size() && convert.StrToBin(wide.data(), wide.length()).getBinaryValue() == bytes)
      return true;
    return CPBase64Converter::binFromBase64(wide.data(), wide.length()).getBinaryValue() == bytes;
  } catch (const ZelException&) {
    return false;
  }
}

// Whether text, read as a document's value of type, is value as typed data
// give it.
bool spells(std::string_view text, const PWFData& value, const SchemaType& type, const ValueSpellings& spellings) {
  if (value.isNull() || value.isNothing()) return false;
  if (value.getDataLogicalType() == eLogicalBinary) return spellsBytes(text, value.getBinaryValue());
  PWFData read;
  std::string wrong;
  const bool readable = type.isUnion
                            ? typedValue(GivenValue::ofText(GivenValue::Kind::String, text), &type, read, wrong, spellings)
                            : parsedTextValue(text, type.logicalType, type.whiteSpace, read, spellings);
  if (!readable) return false;
  if (read == value) return true;
  const std::optional<GivenValue> given = type.isUnion ? givenOf(read) : std::nullopt;
  return given && typedValue(*given, &type, read, wrong, spellings) && read == value;
}

void spell(TreeElement& holder, std::string_view text) {
  PWFData spelled = holder.getValue();
  spelled.setLexicalForm(ZelWstring::fromUtf8(std::string(text)).view());
  holder.setValue(std::move(spelled));
}

// The element's value: its own, or in anonymous children (simple content,
// list items), all spelled or none.
void spellElement(const SchemaView& view, TreeElement& element, const std::string& fixed, const SchemaType& type) {
  if (element.hasValue()) {
    if (spells(fixed, element.getValue(), type, view.spellings())) spell(element, fixed);
    return;
  }
  std::vector<TreeElement*> values;
  for (TreeElement* child = element.getFirstChild(); child; child = child->getNextSibling())
    if (isAnonymous(*child)) values.push_back(child);
  std::vector<std::string_view> texts{fixed};
  const SchemaType* valueType = &type;
  if (element.getItemTypeIndex() >= 0) {
    texts = listItems(fixed);
    valueType = view.type(element.getItemTypeIndex());
  }
  if (!valueType || values.empty() || texts.size() != values.size()) return;
  for (std::size_t i = 0; i < values.size(); ++i)
    if (!spells(texts[i], values[i]->getValue(), *valueType, view.spellings())) return;
  for (std::size_t i = 0; i < values.size(); ++i) spell(*values[i], texts[i]);
}

// The enumeration a type lists, or the nearest of its bases' (a complex
// type's simple content), or null.
const std::vector<std::string>* enumerationOf(const SchemaView& view, const SchemaType* type) {
  for (int steps = 0; type && steps < kMaxDerivationSteps; ++steps, type = view.type(type->baseType))
    if (!type->enumeration.empty()) return &type->enumeration;
  return nullptr;
}

// Binary values whose bytes an enumeration member's text gives: that text.
void spellEnumerated(const SchemaView& view, TreeElement& element, const SchemaType& type) {
  const auto spellBytes = [&view](TreeElement& holder, const SchemaType* ofType) {
    const PWFData& value = holder.getValue();
    if (value.getDataLogicalType() != eLogicalBinary || value.isNull()) return;
    const std::vector<std::string>* enumeration = enumerationOf(view, ofType);
    if (!enumeration) return;
    for (const std::string& text : *enumeration) {
      if (!spellsBytes(text, value.getBinaryValue())) continue;
      spell(holder, text);
      return;
    }
  };
  if (element.hasValue()) return spellBytes(element, &type);
  const SchemaType* itemType = element.getItemTypeIndex() >= 0 ? view.type(element.getItemTypeIndex()) : &type;
  for (TreeElement* child = element.getFirstChild(); child; child = child->getNextSibling())
    if (isAnonymous(*child)) spellBytes(*child, itemType);
}

}  // namespace

void spellAsTheSchemaDoes(const SchemaView& view, MessageTree& tree) {
  if (!view.spellsValues()) return;
  TreeElement* element = tree.getRoot();
  while (element) {
    if (!isAnonymous(*element)) {
      const std::string* fixed = fixedValueOf(view, *element);
      if (const SchemaType* type = view.typeOf(*element); type && fixed) {
        spellElement(view, *element, *fixed, *type);
      } else if (type) {
        spellEnumerated(view, *element, *type);
      }
    }
    element = nextInDocumentOrder(*element);
  }
}

}  // namespace wfxml::detail
