#include "treeassembly.h"

#include "wfxml/wfxml.h"

#include "base64converter.h"
#include "datacnv.h"
#include "messageset.h"
#include "messagetree.h"
#include "xsdlexical.h"
#include "zelexception.h"
#include "zelwstring.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace wfxml::detail {

const DataCnv& valueConverter(bool preserveUtcFormat) {
  thread_local const DataCnv canonical(1200, 0, 1, 53, nullptr, false, nullptr, 0, true, 53, false, 0, nullptr);
  thread_local const DataCnv preserving(1200, 0, 1, 53, nullptr, false, nullptr, 0, true, 53, true, 0, nullptr);
  return preserveUtcFormat ? preserving : canonical;
}

namespace {

constexpr std::string_view kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";
constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

ZelWstring wide(std::string_view utf8) { return ZelWstring::fromUtf8(utf8); }

std::string shortest(double value) {
  char digits[32];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// A JSON number's text as a plain decimal ("1.5e3" is "1500"); empty when
// it is no number.
std::string plainDecimal(std::string_view text) {
  std::size_t i = 0;
  std::string sign;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    if (text[i] == '-') sign = "-";
    ++i;
  }
  std::string digits;
  long point = -1;
  for (; i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'); ++i) {
    if (text[i] == '.') {
      if (point >= 0) return {};
      point = static_cast<long>(digits.size());
    } else {
      digits += text[i];
    }
  }
  if (digits.empty()) return {};
  if (point < 0) point = static_cast<long>(digits.size());
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E') return {};
    long exponent = 0;
    const char* begin = text.data() + i + 1;
    if (begin < text.data() + text.size() && *begin == '+') ++begin;
    const auto [end, fault] = std::from_chars(begin, text.data() + text.size(), exponent);
    if (fault != std::errc() || end != text.data() + text.size() || std::labs(exponent) > kMaxDecimalExponent)
      return {};
    point += exponent;
  } else {
    return sign + std::string(text.substr(sign.empty() && text[0] != '+' ? 0 : 1));
  }
  if (point <= 0) {
    digits.insert(0, static_cast<std::size_t>(-point) + 1, '0');
    point = 1;
  }
  if (point >= static_cast<long>(digits.size())) return sign + digits + std::string(point - digits.size(), '0');
  return sign + digits.substr(0, point) + "." + digits.substr(point);
}

// An integer's digits from a decimal whose fraction is zero; empty otherwise.
std::string integralDigits(const std::string& decimal) {
  const std::size_t point = decimal.find('.');
  if (point == std::string::npos) return decimal;
  if (decimal.find_first_not_of('0', point + 1) != std::string::npos) return {};
  return decimal.substr(0, point);
}

}  // namespace

std::string textOf(const GivenValue& given) {
  switch (given.kind) {
    case GivenValue::Kind::Null: return {};
    case GivenValue::Kind::Boolean: return given.boolean ? "true" : "false";
    case GivenValue::Kind::Integer: return std::to_string(given.integer);
    case GivenValue::Kind::Number:
      // Spelled as a document spells them: Python's infinities and NaN too.
      if (std::isnan(given.number)) return "NaN";
      if (std::isinf(given.number)) return given.number < 0 ? "-INF" : "INF";
      return shortest(given.number);
    case GivenValue::Kind::Binary: {
      ZelWstring text;
      return CPBase64Converter::binToBase64(given.bytes.data(), given.bytes.size(), text).toUtf8();
    }
    case GivenValue::Kind::BigInteger:
    case GivenValue::Kind::Decimal:
    case GivenValue::Kind::String:
    case GivenValue::Kind::DateTime:
    case GivenValue::Kind::Duration: return given.text;
  }
  return given.text;
}

bool isText(GivenValue::Kind kind) {
  return kind == GivenValue::Kind::String || kind == GivenValue::Kind::DateTime || kind == GivenValue::Kind::Duration;
}

namespace {
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
}  // namespace

std::string withWhiteSpace(std::string_view text, std::uint8_t rule) {
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    if (!isSpace(c)) {
      result += c;
    } else if (rule == DictCodes::eWhiteSpaceReplace) {
      result += ' ';
    } else if (rule == DictCodes::eWhiteSpacePreserve) {
      result += c;
    } else if (!result.empty() && result.back() != ' ') {
      result += ' ';
    }
  }
  if (rule == DictCodes::eWhiteSpaceCollapse && !result.empty() && result.back() == ' ') result.pop_back();
  return result;
}

namespace {

// A number's digits as a plain decimal ("1.5e3" is "1500"); empty, with what
// is wrong, for anything else.
std::string decimalDigits(const GivenValue& given, std::string& wrong) {
  std::string digits;
  switch (given.kind) {
    case GivenValue::Kind::Integer: digits = std::to_string(given.integer); break;
    case GivenValue::Kind::BigInteger:
    case GivenValue::Kind::Decimal: digits = plainDecimal(given.text); break;
    case GivenValue::Kind::Number:
      if (std::isfinite(given.number)) digits = plainDecimal(shortest(given.number));
      break;
    default: break;
  }
  if (digits.empty()) {
    const bool exponent = isText(given.kind) ? false : given.text.find_first_of("eE") != std::string::npos;
    wrong = exponent ? "the exponent is beyond " + std::to_string(kMaxDecimalExponent) : "a number was expected";
  }
  return digits;
}

// The same of a number whose value is an integer (2, 2.0, 1e2).
std::string integerDigits(const GivenValue& given, std::string& wrong) {
  const std::string plain = decimalDigits(given, wrong);
  if (plain.empty()) return plain;
  std::string digits = integralDigits(plain);
  if (digits.empty()) wrong = "an integer was expected";
  return digits;
}

bool decimalValue(const GivenValue& given, const SchemaType& type, PWFData& out, std::string& wrong) {
  const std::string digits = type.isIntegerFamily ? integerDigits(given, wrong) : decimalDigits(given, wrong);
  if (digits.empty()) return false;
  out = PWFData::makeDecimal(wide(digits));
  return true;
}

// An integer of the 64-bit types, given as any number whose value is one, as
// the unbounded integer types take it.
bool integerValue(const GivenValue& given, PWFData& out, std::string& wrong) {
  if (given.kind == GivenValue::Kind::Integer) {
    out = PWFData::makeInteger(given.integer);
    return true;
  }
  const std::string digits = integerDigits(given, wrong);
  if (digits.empty()) return false;
  std::int64_t integer = 0;
  const char* end = digits.data() + digits.size();
  if (const auto [stop, error] = std::from_chars(digits.data(), end, integer); error != std::errc() || stop != end) {
    wrong = "the integer does not fit 64 bits";
    return false;
  }
  out = PWFData::makeInteger(integer);
  return true;
}

bool doubleValue(const GivenValue& given, PWFData& out, std::string& wrong) {
  switch (given.kind) {
    case GivenValue::Kind::Integer: out = PWFData::makeFloat(static_cast<double>(given.integer)); return true;
    case GivenValue::Kind::Number: out = PWFData::makeFloat(given.number); return true;
    case GivenValue::Kind::BigInteger:
    case GivenValue::Kind::Decimal: out = PWFData::makeFloat(std::strtod(given.text.c_str(), nullptr)); return true;
    case GivenValue::Kind::String:
      if (given.text == "INF" || given.text == "+INF" || given.text == "-INF" || given.text == "NaN") {
        const ZelWstring text = wide(given.text);
        out = valueConverter().StrToDbl(text.data(), text.length());
        return true;
      }
      break;
    default: break;
  }
  wrong = "a number was expected";
  return false;
}

// Date-times, durations and base64 text read by the host's conversions.
template <class Convert>
bool convertedText(const GivenValue& given, const char* expected, PWFData& out, std::string& wrong, Convert&& convert) {
  if (!isText(given.kind)) {
    wrong = std::string(expected) + " was expected";
    return false;
  }
  try {
    out = convert(wide(given.text));
    return true;
  } catch (const ZelException&) {
    wrong = "'" + given.text + "' is not " + expected;
    return false;
  }
}

// A gMonth given as --MM-- keeps its text, to be written as given (as read).
PWFData dateTimeValue(const ZelWstring& text, bool preserveUtcFormat) {
  PWFData value = valueConverter(preserveUtcFormat)
                      .StrToDateTime(text.data(), DataCnv::XML_SCHEMA_FORMAT, static_cast<long>(text.length()));
  if (isFirstGMonthForm(text.view())) value.setLexicalForm(text.view());
  return value;
}

bool equalsIgnoringCase(std::u16string_view text, std::u16string_view word) {
  return text.size() == word.size() &&
         std::equal(word.begin(), word.end(), text.begin(),
                    [](char16_t w, char16_t t) { return w == (t >= u'A' && t <= u'Z' ? t - u'A' + u'a' : t); });
}

}  // namespace

bool parsedTextValue(std::string_view given, ELogicalType logicalType, std::uint8_t whiteSpace, PWFData& out,
                     const ValueSpellings& spellings) {
  const std::string normalised = withWhiteSpace(given, whiteSpace);
  const ZelWstring text = wide(normalised);
  const DataCnv& convert = valueConverter(spellings.preserveUtcFormat);
  const char16_t* data = text.data();
  const std::size_t length = text.length();
  try {
    switch (logicalType) {
      case eLogicalNone:
      case eLogicalString: out = PWFData::makeString(text); break;
      case eLogicalInteger:
        out = convert.StrToInt64(data, length, DataCnv::SIGN_LEADING, DataCnv::US_MINUS, DataCnv::US_PLUS, 0,
                                 DataCnv::JUSTIFY_RIGHT, u'0', true);
        break;
      case eLogicalDecimal:
        out = convert.StrToDec(data, length, false, 0, DataCnv::US_DECIMAL, DataCnv::SIGN_LEADING, DataCnv::US_MINUS,
                               DataCnv::US_PLUS, 0, DataCnv::JUSTIFY_RIGHT, u'0', true);
        break;
      case eLogicalFloat: out = convert.StrToDbl(data, length); break;
      case eLogicalBoolean: {
        // The message set's own spellings first, as the parser reads them.
        if (spellings.isTrueText(normalised)) {
          out = PWFData::makeBoolean(true);
          break;
        }
        if (spellings.isFalseText(normalised)) {
          out = PWFData::makeBoolean(false);
          break;
        }
        const std::u16string_view spelled = text.view();
        bool truth = equalsIgnoringCase(spelled, u"true") || spelled == u"1";
        if (!truth && !equalsIgnoringCase(spelled, u"false") && spelled != u"0")
          truth = convert.StrToInt32(data, length, DataCnv::SIGN_LEADING, DataCnv::US_MINUS, DataCnv::US_PLUS, 0,
                                     DataCnv::JUSTIFY_RIGHT, u'0', true).getIntegerValue() != 0;
        out = PWFData::makeBoolean(truth);
        break;
      }
      case eLogicalDateTime: out = dateTimeValue(text, spellings.preserveUtcFormat); break;
      case eLogicalInterval: out = convert.StrToInterval(data, length); break;
      case eLogicalBinary: out = CPBase64Converter::binFromBase64(data, length); break;
    }
    return true;
  } catch (const ZelException&) {
    return false;
  }
}

bool memberTextValue(std::string_view text, XsdBuiltin builtin, const std::vector<std::string>& enumeration,
                     ELogicalType logicalType, std::uint8_t whiteSpace, PWFData& out, const ValueSpellings& spellings) {
  if (logicalType != eLogicalBinary && builtin != XsdBuiltin::None) {
    const std::string normalised = withWhiteSpace(text, whiteSpace);
    const bool spelled =
        builtin == XsdBuiltin::Boolean && (spellings.isTrueText(normalised) || spellings.isFalseText(normalised));
    if (!spelled && !isXsdLexicalForm(builtin, wide(normalised).view())) return false;
    if (logicalType == eLogicalString && !enumeration.empty() &&
        std::find(enumeration.begin(), enumeration.end(), normalised) == enumeration.end())
      return false;
  }
  return parsedTextValue(text, logicalType, whiteSpace, out, spellings);
}

namespace {

// A union member's value of a document's text: only text of its built-in
// type's lexical space, and binary read as that type spells it. Where the
// text is not the value's own spelling (12.0 of a float member, lower-case
// hexadecimal digits), the value keeps it, so that it is written back as
// given and the same member takes it again.
bool lexicalMemberValue(std::string_view text, const SchemaType::UnionMember& member, PWFData& out,
                        const ValueSpellings& spellings, bool keepsText) {
  const ZelWstring normalised = wide(withWhiteSpace(text, member.whiteSpace));
  if (member.builtin == XsdBuiltin::HexBinary || member.builtin == XsdBuiltin::Base64Binary) {
    if (!isXsdLexicalForm(member.builtin, normalised.view())) return false;
    try {
      out = member.builtin == XsdBuiltin::HexBinary
                ? valueConverter().StrToBin(normalised.data(), normalised.length())
                : CPBase64Converter::binFromBase64(normalised.data(), normalised.length());
    } catch (const ZelException&) {
      return false;
    }
  } else if (!memberTextValue(text, member.builtin, member.enumeration, member.logicalType, member.whiteSpace, out,
                              spellings)) {
    return false;
  }
  if (keepsText && out.getDataLogicalType() != eLogicalString) out.setLexicalForm(normalised.view());
  return true;
}

// The first binary member, which takes base64 text where no member's own
// spelling took it (the mapping spells bytes so).
const SchemaType::UnionMember* base64Member(std::string_view text, const SchemaType& type, PWFData& out,
                                            const ValueSpellings& spellings) {
  for (const SchemaType::UnionMember& member : type.unionMembers)
    if (!member.isList && member.logicalType == eLogicalBinary)
      return parsedTextValue(text, eLogicalBinary, member.whiteSpace, out, spellings) ? &member : nullptr;
  return nullptr;
}

}  // namespace

const SchemaType::UnionMember* unionMemberTaking(const GivenValue& given, const SchemaType& type, PWFData& out,
                                                 const ValueSpellings& spellings) {
  const std::string text = textOf(given);
  // Bytes keep their value: a hexBinary member would read their base64 text as other bytes.
  const bool bytes = given.kind == GivenValue::Kind::Binary;
  for (const SchemaType::UnionMember& member : type.unionMembers) {
    if (member.isList || (bytes && member.builtin == XsdBuiltin::HexBinary)) continue;
    if (lexicalMemberValue(text, member, out, spellings, isText(given.kind))) return &member;
  }
  return base64Member(text, type, out, spellings);
}

namespace {

// A union's value is the first simple member type's its text converts to,
// as in a document; a list member takes text with items only through
// unionListMember. Empty text reaching a list member (no items), or text of
// a union whose members the dictionary does not list, stays text.
bool unionValue(const GivenValue& given, const SchemaType& type, PWFData& out, std::string& wrong,
                const ValueSpellings& spellings, long* memberType) {
  if (const SchemaType::UnionMember* member = unionMemberTaking(given, type, out, spellings)) {
    if (memberType) *memberType = member->typeRow;
    return true;
  }
  const std::string text = textOf(given);
  bool staysText = type.unionMembers.empty();
  for (const SchemaType::UnionMember& member : type.unionMembers)
    if (member.isList) {
      staysText = listItems(text).empty();
      break;
    }
  if (!staysText) {
    wrong = "'" + text + "' is a value of none of the union's member types";
    return false;
  }
  out = PWFData::makeString(wide(text));
  return true;
}

}  // namespace

std::vector<std::string_view> listItems(std::string_view text) {
  std::vector<std::string_view> items;
  for (std::size_t at = 0; at < text.size();) {
    if (isSpace(text[at])) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < text.size() && !isSpace(text[end])) ++end;
    items.push_back(text.substr(at, end - at));
    at = end;
  }
  return items;
}

UnionResolution resolvedUnion(std::string_view text, const SchemaType& type, const ValueSpellings& spellings,
                              const ListItemValue& itemValue) {
  UnionResolution resolution;
  const std::vector<std::string_view> items = listItems(text);
  for (const SchemaType::UnionMember& member : type.unionMembers) {
    bool taken = false;
    if (member.isList) {
      resolution.items.assign(items.size(), PWFData());
      taken = !items.empty();
      for (std::size_t i = 0; i < items.size() && taken; ++i)
        taken = itemValue(items[i], member.listItemType, resolution.items[i]);
    } else {
      taken = lexicalMemberValue(text, member, resolution.value, spellings, true);
    }
    if (taken) {
      resolution.member = &member;
      if (!member.isList) resolution.items.clear();
      return resolution;
    }
  }
  resolution.items.clear();
  resolution.member = base64Member(text, type, resolution.value, spellings);
  return resolution;
}

const char* kindName(GivenValue::Kind kind) {
  switch (kind) {
    case GivenValue::Kind::Null: return "null";
    case GivenValue::Kind::Boolean: return "Boolean";
    case GivenValue::Kind::Integer: return "Integer";
    case GivenValue::Kind::BigInteger: return "Integer";
    case GivenValue::Kind::Decimal: return "Decimal";
    case GivenValue::Kind::Number: return "Double";
    case GivenValue::Kind::String: return "String";
    case GivenValue::Kind::Binary: return "Binary";
    case GivenValue::Kind::DateTime: return "DateTime";
    case GivenValue::Kind::Duration: return "Duration";
  }
  return "?";
}

bool typedValue(const GivenValue& given, const SchemaType* type, PWFData& out, std::string& wrong,
                const ValueSpellings& spellings, long* memberType) {
  const ELogicalType target = type ? type->logicalType : eLogicalNone;
  if (given.kind == GivenValue::Kind::Null) {
    out = PWFData::makeNull(target == eLogicalNone ? eLogicalString : target);
    return true;
  }
  if (!type) {
    // Untyped: the value is its text.
    out = PWFData::makeString(wide(textOf(given)));
    return true;
  }
  if (type->isUnion) return unionValue(given, *type, out, wrong, spellings, memberType);
  // Text is taken as the parser takes a document's: after its type's
  // whitespace rule, so what is written reads back as the value built.
  if (isText(given.kind) && type->whiteSpace != DictCodes::eWhiteSpacePreserve) {
    GivenValue normalised = given;
    normalised.text = withWhiteSpace(given.text, type->whiteSpace);
    if (normalised.text != given.text) return typedValue(normalised, type, out, wrong, spellings);
  }
  switch (target) {
    case eLogicalNone:
    case eLogicalString:
      if (!isText(given.kind)) break;
      out = PWFData::makeString(wide(given.text));
      return true;
    case eLogicalInteger: return integerValue(given, out, wrong);
    case eLogicalDecimal: return decimalValue(given, *type, out, wrong);
    case eLogicalFloat: return doubleValue(given, out, wrong);
    case eLogicalBoolean:
      if (given.kind != GivenValue::Kind::Boolean) break;
      out = PWFData::makeBoolean(given.boolean);
      return true;
    case eLogicalBinary:
      if (given.kind == GivenValue::Kind::Binary) {
        out = PWFData::makeBinary(given.bytes);
        return true;
      }
      return convertedText(given, "base64 text", out, wrong, [](const ZelWstring& text) {
        return CPBase64Converter::binFromBase64(text.data(), text.length());
      });
    case eLogicalDateTime:
      return convertedText(given, "a date or time", out, wrong, [&spellings](const ZelWstring& text) {
        return dateTimeValue(text, spellings.preserveUtcFormat);
      });
    case eLogicalInterval:
      // Written as given, as a document's duration is written as read (P01M stays so).
      return convertedText(given, "a duration", out, wrong, [](const ZelWstring& text) {
        PWFData value = valueConverter().StrToInterval(text.data(), text.length());
        value.setLexicalForm(text.view());
        return value;
      });
  }
  wrong = std::string("a value of type ") + logicalTypeName(target) + " was expected, not " + kindName(given.kind);
  return false;
}

TreeElement& TreeAssembly::createMessage(const SchemaElement& message) {
  TreeElement& root = tree_.createRoot();
  root.setTagId(message.tagId);
  root.setTagIndex(message.tagRow);
  root.setMemberId(0);
  root.setKind(eKindMessage);
  return root;
}

TreeElement& TreeAssembly::createSelfDefiningMessage(std::string_view name, std::string_view namespaceUri) {
  TreeElement& root = tree_.createRoot();
  tree_.setName(root, wide(name).view());
  if (!namespaceUri.empty()) tree_.setNamespaceURI(root, wide(namespaceUri).view());
  root.setKind(5);  // self-defining message
  return root;
}

std::string TreeAssembly::namespaceOf(const TreeElement& element) const {
  if (view_) {
    if (const SchemaMember* member = view_->memberOf(element)) return member->namespaceUri;
    if (element.getTagId() >= 0) {
      if (const SchemaElement* global = view_->element(element.getTagIndex())) return global->namespaceUri;
    }
  }
  return element.getNamespaceURI().toUtf8();
}

Resolution TreeAssembly::resolve(const TreeElement& parent, std::string_view name, std::string_view namespaceUri,
                                 bool attribute, bool byKey, bool namespaceGiven) const {
  Resolution resolution;
  // An element the set does not define is typed by an xsi:type naming one of its types.
  const bool parentDefined =
      view_ && (parent.getMemberId() >= 1 || parent.getTagId() >= 0 || parent.getTypeIndex() >= 0);
  if (!parentDefined) {
    resolution.selfDefining = true;
    return resolution;
  }
  const SchemaType* type = view_->typeOf(parent);
  if (!type) return resolution;
  // A name without namespace means the parent's first (an element's; none
  // for an attribute, as unprefixed in XML: role beside xlink:role), then
  // any member's of that name when only one namespace has it; "{}name"
  // means none.
  const NamespaceMatch match =
      namespaceGiven && namespaceUri.empty() ? NamespaceMatch::exact : NamespaceMatch::anyWhenEmpty;
  const bool noNamespace = match == NamespaceMatch::exact;
  const std::string meant = namespaceUri.empty() && !namespaceGiven ? namespaceOf(parent) : std::string(namespaceUri);
  if (namespaceUri.empty() && !noNamespace)
    resolution.member = type->findMember(name, attribute ? std::string() : meant, attribute, byKey, NamespaceMatch::exact);
  if (!resolution.member) resolution.member = type->findMember(name, namespaceUri, attribute, byKey, match);
  if (resolution.member) return resolution;
  if (!attribute) {
    const SchemaElement* global = view_->findElement(name, meant, match);
    if (!global && namespaceUri.empty() && !noNamespace) global = view_->findElement(name, {});
    resolution.substitutes = global ? view_->substitutedMember(*type, global->tagRow) : nullptr;
    if (resolution.substitutes) {
      resolution.global = global;
      return resolution;
    }
  }
  if (attribute) {
    // xml:lang and its kin belong to every element; others need an attribute
    // wildcard that admits their namespace, and are typed as the parser
    // types them: by a global attribute declaration unless it skips them.
    const std::optional<AttributeWildcard>& wildcard = type->attributeWildcard;
    if (namespaceUri == kXmlNamespace || namespaceUri == kSchemaInstanceNamespace) {
      resolution.selfDefining = true;
    } else if (wildcard && wildcard->admits(namespaceUri)) {
      if (wildcard->processing != WildcardProcessing::Skip) resolution.global = view_->findAttribute(name, namespaceUri);
      resolution.selfDefining = !resolution.global;
    }
    return resolution;
  }
  return byWildcard(*type, name, meant);
}

Resolution TreeAssembly::byWildcard(const SchemaType& type, std::string_view name, std::string_view namespaceUri) const {
  Resolution resolution;
  if (!type.hasWildcard || !type.admitsElement(namespaceUri)) return resolution;
  // A skipping wildcard takes its elements as they come, as the parser does.
  if (type.wildcardProcessing != WildcardProcessing::Skip)
    resolution.global = view_->findElement(name, namespaceUri, NamespaceMatch::exact);
  resolution.selfDefining = !resolution.global;
  return resolution;
}

TreeElement& TreeAssembly::append(TreeElement& parent, const Resolution& resolution, std::string_view name,
                                  std::string_view namespaceUri, bool attribute, bool namespaceGiven) {
  TreeElement& child = tree_.appendChild(parent);
  if (const SchemaMember* member = resolution.member) {
    child.setTagId(member->tagId);
    child.setMemberId(member->memberId);
    child.setTagIndex(member->tagRow);
    child.setMemberIndex(member->memberRow);
    child.setKind(member->kind);
    if (const SchemaType* type = view_->type(member->typeRow); type && type->isList)
      child.setItemTypeIndex(type->listItemType);
    return child;
  }
  if (const SchemaElement* global = resolution.global) {
    child.setTagId(global->tagId);
    child.setTagIndex(global->tagRow);
    child.setMemberId(0);
    child.setKind(global->kind);
    return child;
  }
  if (parent.getKind() == eKindSelfDefiningField && parent.getMemberId() < 1 && parent.getTagId() < 0)
    parent.setKind(eKindSelfDefiningStructure);
  const std::string treeName = attribute ? "@" + std::string(name) : std::string(name);
  tree_.setName(child, wide(treeName).view());
  const std::string inherited = attribute || namespaceGiven ? std::string() : namespaceOf(parent);
  const std::string_view uri = namespaceUri.empty() ? std::string_view(inherited) : namespaceUri;
  if (!uri.empty()) tree_.setNamespaceURI(child, wide(uri).view());
  child.setKind(eKindSelfDefiningField);
  return child;
}

TreeElement& TreeAssembly::appendValue(TreeElement& parent, PWFData value) {
  TreeElement& child = tree_.appendChild(parent);
  child.setKind(eKindSelfDefiningField);
  child.setValue(std::move(value));
  return child;
}

void TreeAssembly::setXsiType(TreeElement& element, long typeRow) {
  element.setTypeIndex(typeRow);
  nameXsiType(element, typeRow);
}

namespace {
TreeElement* xsiNilOf(const TreeElement& element) {
  for (TreeElement* child = element.getFirstChild(); child; child = child->getNextSibling()) {
    if (child->getName().view() == u"@nil" && child->getNamespaceURI().toUtf8() == kSchemaInstanceNamespace)
      return child;
  }
  return nullptr;
}
}  // namespace

void TreeAssembly::setXsiNil(TreeElement& element, std::string_view value) {
  const PWFData nil = PWFData::makeString(ZelWstring::fromUtf8(value));
  if (TreeElement* attribute = xsiNilOf(element)) return attribute->setValue(nil);
  Resolution resolution;
  resolution.selfDefining = true;
  append(element, resolution, "nil", kSchemaInstanceNamespace, true, true).setValue(nil);
}

void TreeAssembly::clearXsiNil(TreeElement& element) {
  if (TreeElement* attribute = xsiNilOf(element)) tree_.unlink(*attribute);
}

void TreeAssembly::setBuiltinXsiType(TreeElement& element, std::string_view local) {
  nameXsiType(element, std::string(msgset::kXmlSchemaNamespace), local);
}

void TreeAssembly::nameXsiType(TreeElement& element, long typeRow) {
  appendXsiType(element, view_->treeTypeText(typeRow));
}

void TreeAssembly::nameXsiType(TreeElement& element, const std::string& namespaceUri, std::string_view local) {
  appendXsiType(element, namespaceUri.empty() ? std::string(local) : namespaceUri + ":" + std::string(local));
}

// The attribute as the parse keeps it: "uri:name".
void TreeAssembly::appendXsiType(TreeElement& element, const std::string& typeText) {
  TreeElement& attribute = tree_.appendChild(element);
  tree_.setName(attribute, u"type");
  tree_.setNamespaceURI(attribute, wide(kSchemaInstanceNamespace).view());
  attribute.setKind(eKindSelfDefiningField);
  attribute.setValue(PWFData::makeString(wide(typeText)));
}

}  // namespace wfxml::detail
