#include "schemaspellings.h"

#include "base64converter.h"
#include "contentcheck.h"
#include "datacnv.h"
#include "messagetree.h"
#include "schemaview.h"
#include "treeassembly.h"
#include "utf8.h"
#include "valuepattern.h"
#include "zelexception.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wfxml::detail {
namespace {

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
  const DataCnv& convert = valueConverter();
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

// Another spelling of the same value, for a pattern. A decimal's digits are
// what its JSON gives: those of the text, as a parse of it gives them.
void respell(TreeElement& holder, const std::string& text) {
  if (holder.getValue().getDataLogicalType() == eLogicalDecimal)
    holder.setValue(PWFData::makeDecimal(ZelWstring::fromUtf8(text)));
  else
    spell(holder, text);
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

// The type or the nearest of its bases (a complex type's simple content's
// too) for which has holds; null for none.
template <class Has>
const SchemaType* nearestWith(const SchemaView& view, const SchemaType* type, Has has) {
  for (std::size_t steps = 0; type && steps < view.typeCount(); ++steps, type = view.type(type->baseType))
    if (has(*type)) return type;
  return nullptr;
}

// The enumeration a type lists, or the nearest of its bases', or null.
const std::vector<std::string>* enumerationOf(const SchemaView& view, const SchemaType* type) {
  const SchemaType* listing = nearestWith(view, type, [](const SchemaType& t) { return !t.enumeration.empty(); });
  return listing ? &listing->enumeration : nullptr;
}

// A binary value whose bytes an enumeration member's text gives: that text.
bool spellEnumerated(const SchemaView& view, TreeElement& holder, const SchemaType* type) {
  const PWFData& value = holder.getValue();
  if (value.getDataLogicalType() != eLogicalBinary || value.isNull()) return false;
  const std::vector<std::string>* enumeration = enumerationOf(view, type);
  if (!enumeration) return false;
  for (const std::string& text : *enumeration) {
    if (!spellsBytes(text, value.getBinaryValue())) continue;
    spell(holder, text);
    return true;
  }
  return false;
}

// A number as its significant digits and a power of ten: -0.0120 is
// "-", "12", -3.
struct ScaledDigits {
  std::string sign;
  std::string digits;  // no leading or trailing zeros; "0" for zero
  long exponent = 0;
};

// A decimal or double's text ("-12.50", "1e-05") as scaled digits.
ScaledDigits scaledDigitsOf(std::string_view text) {
  ScaledDigits number;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) number.sign = text[i++] == '-' ? "-" : "";
  for (bool fraction = false; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    if (text[i] == '.') {
      fraction = true;
    } else {
      number.digits += text[i];
      number.exponent -= fraction ? 1 : 0;
    }
  }
  if (i < text.size()) number.exponent += std::strtol(std::string(text.substr(i + 1)).c_str(), nullptr, 10);
  number.digits.erase(0, std::min(number.digits.find_first_not_of('0'), number.digits.size()));
  while (!number.digits.empty() && number.digits.back() == '0') {
    number.digits.pop_back();
    ++number.exponent;
  }
  if (number.digits.empty()) number = {number.sign, "0", 0};  // a double's -0 is another value than 0
  return number;
}

// Its plain spelling with at least integerWidth digits before the point
// and fractionWidth after it (none: no point), or "" when that drops digits.
std::string plainSpelling(const ScaledDigits& number, std::size_t integerWidth, std::size_t fractionWidth) {
  const long integerDigits = static_cast<long>(number.digits.size()) + number.exponent;
  std::string integer = integerDigits <= 0 ? "" : number.digits.substr(0, static_cast<std::size_t>(integerDigits));
  integer.append(static_cast<std::size_t>(std::max(0L, number.exponent)), '0');
  std::string fraction = integerDigits >= 0 ? number.digits.substr(std::min<std::size_t>(integerDigits, number.digits.size()))
                                            : std::string(static_cast<std::size_t>(-integerDigits), '0') + number.digits;
  if (number.digits == "0") integer = fraction = "";
  if (fraction.size() > fractionWidth) return {};
  integer.insert(0, integerWidth > integer.size() ? integerWidth - integer.size() : 0, '0');
  fraction.append(fractionWidth - fraction.size(), '0');
  return number.sign + integer + (fraction.empty() ? "" : "." + fraction);
}

constexpr std::size_t kMostPaddingZeros = 8;   // beyond the digits a value needs, after the point
constexpr std::size_t kMostLeadingZeros = 32;  // before the digits: a pattern may want all of a type's (\d{20})
constexpr std::size_t kExponentWidth = 3;     // a double's exponent spelled with zeros before it up to so many digits (E-038)

// A boolean's, number's, date-time's or hexBinary's text as the writer
// spells it; "" for other values.
std::string writtenText(const PWFData& value, const SchemaType& type, const ValueSpellings& spellings) {
  switch (value.getDataLogicalType()) {
    case eLogicalBinary: {
      if (type.builtin != XsdBuiltin::HexBinary) return {};
      const std::vector<std::uint8_t>& bytes = value.getBinaryValue();
      ZelWstring written;
      return valueConverter().StrFromBin(bytes.data(), bytes.size(), written).toUtf8();
    }
    case eLogicalBoolean: {
      const std::string& own = value.getBooleanValue() ? spellings.trueText : spellings.falseText;
      return !own.empty() ? own : value.getBooleanValue() ? "true" : "false";
    }
    case eLogicalInteger: return std::to_string(value.getIntegerValue());
    case eLogicalDecimal: return value.getDecimalValue().toUtf8();
    case eLogicalFloat: {
      if (!std::isfinite(value.getFloatValue())) return {};
      char16_t written[DataCnv::MAX_NUMBER_TEXT];
      return ZelWstring(std::u16string_view(written, DataCnv::StrFromDbl(value.getFloatValue(), written))).toUtf8();
    }
    case eLogicalDateTime: {
      ZelWstring written;
      return valueConverter().StrFromDateTime(value.getDateTimeValue(), nullptr, nullptr, written).toUtf8();
    }
    default: return {};
  }
}

// Other spellings of the value written, nearest first: a boolean's literals;
// hexBinary digits in lower case; a date-time's zero offset as an offset
// rather than Z (the parse reads those as Z); a number's digits with zeros
// before and after them, a bare point, a sign +, and for a double exponent
// forms ("1.0E-2", "1e-002"). Each is the same value: zeros added where they
// change nothing, an integer's without a point.
std::vector<std::string> otherSpellings(const PWFData& value, const std::string& written, const SchemaType& type) {
  if (value.getDataLogicalType() == eLogicalBoolean)
    return value.getBooleanValue() ? std::vector<std::string>{"true", "1"} : std::vector<std::string>{"false", "0"};
  if (value.getDataLogicalType() == eLogicalBinary) {
    std::string lower = written;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return {lower};
  }
  if (value.getDataLogicalType() == eLogicalDateTime) {
    if (written.empty() || written.back() != 'Z') return {};
    const std::string local = written.substr(0, written.size() - 1);
    return {local + "+00:00", local + "-00:00"};
  }
  const ScaledDigits number = scaledDigitsOf(written);
  const long digits = static_cast<long>(number.digits.size());
  const auto integerWidth = static_cast<std::size_t>(std::max(1L, digits + number.exponent));
  const auto fractionWidth = static_cast<std::size_t>(std::max(0L, -number.exponent));
  const std::size_t mostAfter = type.isIntegerFamily ? 0 : kMostPaddingZeros;
  std::vector<std::string> spelled;
  for (std::size_t before = 0; before <= kMostLeadingZeros; ++before)
    for (std::size_t after = 0; after <= mostAfter; ++after)
      spelled.push_back(plainSpelling(number, integerWidth + before, fractionWidth + after));
  // Below one, a bare point (".5"); then each so far with a sign + where it has none.
  if ((digits + number.exponent <= 0 || number.digits == "0") && !type.isIntegerFamily)
    for (std::size_t after = 0; after <= mostAfter; ++after) spelled.push_back(plainSpelling(number, 0, fractionWidth + after));
  for (std::size_t i = 0, plain = spelled.size(); i < plain; ++i)
    if (!spelled[i].empty() && spelled[i].front() != '-') spelled.push_back("+" + spelled[i]);
  if (type.logicalType != eLogicalFloat) return spelled;
  const long power = number.exponent + digits - 1;
  const std::string powerDigits = std::to_string(std::labs(power));
  const std::vector<std::string> powerSigns = power < 0 ? std::vector<std::string>{"-"} : std::vector<std::string>{"", "+"};
  for (std::size_t zeros = 0; zeros <= kMostPaddingZeros; ++zeros) {
    const std::string tail = number.digits.substr(1) + std::string(zeros, '0');
    const std::string mantissa = number.sign + number.digits.front() + (tail.empty() ? "" : "." + tail);
    for (const char* letter : {"E", "e"})
      for (const std::string& sign : powerSigns)
        for (std::size_t width = powerDigits.size(); width <= kExponentWidth; ++width)
          spelled.push_back(mantissa + letter + sign + std::string(width - powerDigits.size(), '0') + powerDigits);
  }
  return spelled;
}

// A date-time keeps the text typed data give it, and is spelled for a
// pattern from there; other values keep theirs only where the writer's
// spelling would read as another union member, and are not respelled; nor
// is a string, whose text is its value.
bool keepsItsText(const PWFData& value) {
  return value.getDataLogicalType() == eLogicalString ||
         (value.getLexicalForm() && value.getDataLogicalType() != eLogicalDateTime);
}

// The text the writer gives a value: the one it keeps, else its own spelling.
std::string textAsWritten(const PWFData& value, const SchemaType& type, const ValueSpellings& spellings) {
  if (value.getDataLogicalType() == eLogicalString) return value.getText().toUtf8();
  const ZelWstring* given = value.getLexicalForm();
  return given ? given->toUtf8() : writtenText(value, type, spellings);
}

// The patterns a value of type must match: its own and each base's.
std::vector<const ValuePattern*> patternsOf(const SchemaView& view, const SchemaType* type) {
  std::vector<const ValuePattern*> patterns;
  for (std::size_t steps = 0; type && steps < view.typeCount(); ++steps, type = view.type(type->baseType))
    if (type->pattern) patterns.push_back(type->pattern.get());
  return patterns;
}

bool matchesAll(const std::vector<const ValuePattern*>& patterns, std::string_view text) {
  return std::all_of(patterns.begin(), patterns.end(), [text](const ValuePattern* p) { return p->matches(text); });
}

// Whether read is value, or for a decimal the same number: a spelling a
// pattern takes gives its digits.
bool sameValue(const PWFData& read, const PWFData& value) {
  if (read.getDataLogicalType() != eLogicalDecimal || value.getDataLogicalType() != eLogicalDecimal) return read == value;
  const ScaledDigits a = scaledDigitsOf(read.getDecimalValue().toUtf8());
  const ScaledDigits b = scaledDigitsOf(value.getDecimalValue().toUtf8());
  return a.sign == b.sign && a.digits == b.digits && a.exponent == b.exponent;
}

// The texts a value of one simple type, or of one of a union's members, may
// be written as: those its patterns take, as the schema's check reads them.
class ValueForm {
public:
  ValueForm(const SchemaView& view, const SchemaType& type)
      : view_(view), type_(type), patterns_(patternsOf(view, &type)), patterned_(!patterns_.empty()) {
    if (!type.isUnion) return;
    for (const SchemaType::UnionMember& member : type.unionMembers) {
      memberPatterns_.push_back(member.isList ? std::vector<const ValuePattern*>{} : patternsOf(view, view.type(member.typeRow)));
      patterned_ = patterned_ || !memberPatterns_.back().empty();
    }
  }

  // Whether a pattern narrows it: else the writer's spelling is taken.
  bool isPatterned() const { return patterned_; }

  // The type whose spellings the value has: for a union, the member typed
  // data name (ownRow), else the first that reads the value as the writer
  // spells it, else the first of its kind of value.
  const SchemaType* spelledAs(const PWFData& value, long ownRow) const {
    if (!type_.isUnion) return &type_;
    const SchemaType* own = view_.type(ownRow);
    if (own && !own->isUnion && own->logicalType == value.getDataLogicalType()) return own;
    const SchemaType* first = nullptr;
    for (const SchemaType::UnionMember& member : type_.unionMembers) {
      const SchemaType* memberType = view_.type(member.typeRow);
      if (member.isList || member.logicalType != value.getDataLogicalType() || !memberType) continue;
      first = first ? first : memberType;
      PWFData read;
      if (reads(member, textAsWritten(value, *memberType, view_.spellings()), read) && sameValue(read, value))
        return memberType;
    }
    return first;
  }

  // Whether the type's patterns take the text and it is read as the value:
  // a union's by the first member whose built-in type and patterns take
  // it, as the schema's check chooses it.
  bool takes(const std::string& text, const PWFData& value) const {
    if (!matchesAll(patterns_, text)) return false;
    if (!type_.isUnion) return true;
    for (std::size_t i = 0; i < type_.unionMembers.size(); ++i) {
      const SchemaType::UnionMember& member = type_.unionMembers[i];
      PWFData read;
      if (!member.isList && reads(member, text, read) && matchesAll(memberPatterns_[i], text)) return sameValue(read, value);
    }
    return false;
  }

private:
  // Whether the member's built-in type takes the text, and its value; a
  // hexBinary's digits as the schema's check reads them.
  bool reads(const SchemaType::UnionMember& member, const std::string& text, PWFData& read) const {
    if (member.builtin != XsdBuiltin::HexBinary)
      return memberTextValue(text, member.builtin, member.enumeration, member.logicalType, member.whiteSpace, read,
                             view_.spellings());
    const ZelWstring digits = ZelWstring::fromUtf8(text);
    try {
      read = valueConverter().StrToBin(digits.data(), digits.length());
      return true;
    } catch (const ZelException&) {
      return false;
    }
  }

  const SchemaView& view_;
  const SchemaType& type_;
  const std::vector<const ValuePattern*> patterns_;                 // the type's own and its bases'
  bool patterned_;                                                  // by those or a member's
  std::vector<std::vector<const ValuePattern*>> memberPatterns_;  // a union's members', in turn
};

// A boolean, number, date-time or hexBinary the writer would spell in a
// form its type's patterns refuse (a union's, those of the member that
// would read it): the nearest spelling of the same value they take, where
// one is.
void spellPatterned(const SchemaView& view, TreeElement& holder, const SchemaType* type) {
  const PWFData& value = holder.getValue();
  if (!type || value.isNull() || keepsItsText(value)) return;
  const ValueForm form(view, *type);
  const SchemaType* spelledAs = form.isPatterned() ? form.spelledAs(value, holder.getValueTypeIndex()) : nullptr;
  const std::string written = spelledAs ? textAsWritten(value, *spelledAs, view.spellings()) : "";
  if (written.empty() || form.takes(written, value)) return;
  for (const std::string& text : otherSpellings(value, written, *spelledAs)) {
    if (text.empty() || !form.takes(text, value)) continue;
    respell(holder, text);
    return;
  }
}

// The items of a list whose type's patterns refuse them as spelled (the
// pattern holds for the text of all items: "\d{3}\.\d{2} \d{3}\.\d{2}" for
// 001.50 002.25): where the pattern is a part per item, or one part
// repeated for each ("\d{3}\.\d{2}( \d{3}\.\d{2})*"), each item in its
// nearest spelling its part takes; else every item in its n-th spelling,
// the first n the patterns take. An item's spellings are those its item
// type takes (a union's: those read as its value).
void spellPatternedList(const SchemaView& view, const std::vector<TreeElement*>& items, const SchemaType& type,
                        const SchemaType& itemType) {
  const std::vector<const ValuePattern*> patterns = patternsOf(view, &type);
  if (patterns.empty() || items.empty()) return;
  const ValueForm form(view, itemType);
  std::vector<const SchemaType*> spelledAs;
  std::vector<std::vector<std::string>> spellings;  // of each item, the written one first
  for (const TreeElement* item : items) {
    const PWFData& value = item->getValue();
    spelledAs.push_back(value.isNull() ? nullptr : form.spelledAs(value, item->getValueTypeIndex()));
    std::string written = spelledAs.back() ? textAsWritten(value, *spelledAs.back(), view.spellings()) : "";
    if (written.empty()) return;
    spellings.push_back({std::move(written)});
  }
  const auto taken = [&patterns](const std::vector<const std::string*>& texts) {
    std::string joined;
    for (const std::string* text : texts) joined += (joined.empty() ? "" : " ") + *text;
    return matchesAll(patterns, joined);
  };
  std::vector<const std::string*> chosen;
  for (const std::vector<std::string>& each : spellings) chosen.push_back(&each.front());
  if (taken(chosen)) return;
  // Only now the other spellings, which take time to make.
  for (std::size_t i = 0; i < items.size(); ++i) {
    const PWFData& value = items[i]->getValue();
    if (!keepsItsText(value))
      for (std::string& other : otherSpellings(value, spellings[i].front(), *spelledAs[i]))
        if (!other.empty() && form.takes(other, value)) spellings[i].push_back(std::move(other));
    chosen[i] = &spellings[i].front();
  }
  const SchemaType* parted =
      nearestWith(view, &type, [&](const SchemaType& t) { return t.itemPatterns.size() == items.size(); });
  const SchemaType* repeated = nearestWith(view, &type, [](const SchemaType& t) { return t.everyItemPattern != nullptr; });
  if (parted || repeated) {
    for (std::size_t i = 0; i < items.size(); ++i) {
      const ValuePattern& part = parted ? *parted->itemPatterns[i] : *repeated->everyItemPattern;
      const auto fits = std::find_if(spellings[i].begin(), spellings[i].end(),
                                     [&part](const std::string& text) { return part.matches(text); });
      if (fits != spellings[i].end()) chosen[i] = &*fits;
    }
  } else {
    std::size_t most = 0;
    for (const std::vector<std::string>& each : spellings) most = std::max(most, each.size());
    for (std::size_t n = 1; n < most && !taken(chosen); ++n)
      for (std::size_t i = 0; i < items.size(); ++i) chosen[i] = &spellings[i][std::min(n, spellings[i].size() - 1)];
  }
  if (!taken(chosen)) return;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (chosen[i] != &spellings[i].front()) respell(*items[i], *chosen[i]);
}

// The list type of an element's items: its type, or where that is a union
// (or simple content of one), the list member whose items they are.
const SchemaType& listTypeOf(const SchemaView& view, const SchemaType& type, long itemTypeRow) {
  const SchemaType* unionType = nearestWith(view, &type, [](const SchemaType& t) { return t.isUnion; });
  if (!unionType) return type;
  for (const SchemaType::UnionMember& member : unionType->unionMembers)
    if (const SchemaType* list = member.isList && member.listItemType == itemTypeRow ? view.type(member.typeRow) : nullptr)
      return *list;
  return type;
}

// Values the writer would spell otherwise than the schema takes them: a
// binary enumeration member's, a boolean, number, date-time or hexBinary a
// pattern narrows.
void spellValues(const SchemaView& view, TreeElement& element, const SchemaType& type) {
  const auto spellOne = [&view](TreeElement& holder, const SchemaType* ofType) {
    if (!spellEnumerated(view, holder, ofType)) spellPatterned(view, holder, ofType);
  };
  if (element.hasValue()) return spellOne(element, &type);
  const SchemaType* itemType = element.getItemTypeIndex() >= 0 ? view.type(element.getItemTypeIndex()) : &type;
  std::vector<TreeElement*> items;
  for (TreeElement* child = element.getFirstChild(); child; child = child->getNextSibling()) {
    if (!isAnonymous(*child)) continue;
    spellOne(*child, itemType);
    items.push_back(child);
  }
  if (element.getItemTypeIndex() >= 0 && itemType)
    spellPatternedList(view, items, listTypeOf(view, type, element.getItemTypeIndex()), *itemType);
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
        spellValues(view, *element, *type);
      }
    }
    element = nextInDocumentOrder(*element);
  }
}

}  // namespace wfxml::detail
