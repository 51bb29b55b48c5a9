// XMLHandler: character data and attribute values as typed values, with
// xsi:type, list and union resolution.
#include "xmlhandler.h"

#include "base64converter.h"
#include "fihandler.h"
#include "xmldictionaryinfo.h"
#include "xmldictionaryview.h"
#include "xmlworkerutility.h"
#include "xsdlexical.h"
#include "zelexception.h"

#include <xercesc/framework/XMLBuffer.hpp>
#include <xercesc/internal/ElemStack.hpp>
#include <xercesc/internal/XMLScanner.hpp>

#include <cstdint>
#include <cstring>

namespace {
// A value in single quotes for an error message, long ones cut short.
std::string quotedForMessage(std::u16string_view text) {
  constexpr std::size_t kShown = 40;
  const std::string shown = ZelWstring(text.substr(0, kShown)).toUtf8();
  return "'" + shown + (text.size() > kShown ? "...'" : "'");
}

// The pieces of a list value: the text split at each run of whitespace,
// without empty pieces.
class ListTokens {
public:
  explicit ListTokens(std::u16string_view text) : iText(text) {}
  bool next(std::u16string_view& token) {
    while (iPosition < iText.size() && XMLUtils::isWhitespace(iText[iPosition])) ++iPosition;
    if (iPosition == iText.size()) return false;
    std::size_t end = iPosition;
    while (end < iText.size() && !XMLUtils::isWhitespace(iText[end])) ++end;
    token = iText.substr(iPosition, end - iPosition);
    iPosition = end;
    return true;
  }

private:
  std::u16string_view iText;
  std::size_t iPosition = 0;
};

// Whether an integer's text is the one its value is written as: no sign
// but a minus, no leading zero.
bool isPlainIntegerText(std::u16string_view text) {
  const bool negative = !text.empty() && text.front() == u'-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || (text.front() == u'0' && (negative || text.size() > 1))) return false;
  for (const char16_t unit : text)
    if (unit < u'0' || unit > u'9') return false;
  return true;
}

// Compares with an ASCII spelling, ignoring the case of ASCII letters.
bool equalsIgnoringCase(std::u16string_view text, std::u16string_view spelling) {
  if (text.size() != spelling.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != spelling[i]) return false;
  }
  return true;
}
}  // namespace

// ---------------------------------------------------------------------------
// Character data

void XMLHandler::resetDocCharacters(bool flagged) {
  setAsideWhitespace.clear();
  ParseItem* item = top();
  if (!item) {
    characters.clear();
    return;
  }
  const Text text = characters.view();
  if (item->getValueTraits().whitespaceIgnored && XMLUtils::isAllWhitespace(text.data(), text.size())) {
    characters.clear();
    return;
  }
  // Without text only the end of a list, or of an element with a simple
  // value still to send, has something to send; the buffer is already empty.
  if (text.empty() && (!flagged || item->isDataSent() ||
                       (valueTraitsOf(*item).shape != ValueShape::List && item->getValueLogicalType() < 1)))
    return;
  if (!item->isDataSent()) {
    const ValueShape shape = valueTraitsOf(*item).shape;
    if (shape == ValueShape::List || (shape == ValueShape::Union && !text.empty())) {
      // A comment or processing instruction does not end a list or union
      // value: its text is resolved as a whole at the element's end, and the
      // comment travels with its first data event.
      if (!flagged) return;
      if (shape == ValueShape::List)
        resolveListType(*item, text.empty() ? valueConstraintOr(text, *item) : text, -1);
      else
        resolveUnionType(*item, text, EnclosingList(), false);
      item->setDataSent();
      characters.clear();
      return;
    }
  }

  if (!text.empty() || flagged) {
    // A simple element takes the text as its value, an empty text included.
    const ERender render = item->getRender();
    if (item->getValueLogicalType() >= 1 && (render == erElement || render == erElementWithIdAttribute) &&
        !item->isDataSent()) {
      WorkerInfoPtr info;
      assignPrefix(info);
      if (hasQualifiedNameValue(*item)) noteValueNamespace(text, info);
      fiHandler->data(convertElementText(text, *item), info, -1, -1);
      item->setDataSent();
      characters.clear();
      return;
    }
  }

  if (!text.empty()) {
    const long memberIndex = getNextSimpleTypeMemberIndex(*item);
    if (memberIndex >= 0) {
      // Mixed content: the run is the value of the next nameless member,
      // which has no element and so no start or end event.
      temporaryItem->ReInitialiseParseItem(getOwner(), item, descriptor, u"", kNoNamespace, eDefinedAsTypeMember,
                                           memberIndex, -1L, eItemFromDefinition);
      WorkerInfoPtr info;
      assignPrefix(info);
      fiHandler->data(convertStringToData(text, temporaryItem.get(), kItemsOwnType), info, -1, -1);
      setLastSimpleChildMemberIndex(*temporaryItem);
    } else if (item->isDataSent() && item->getWhereDefined() != eUndefined && item->getLogicalType() >= 1) {
      if (ZelLog::traceOn())
        ZelLog::trace(this, "XMLHandler::resetDocCharacters",
                      {"Warning: the following character data is being ignored as a data event has already been "
                       "sent for this simple element.",
                       characters});
    } else if (!XMLUtils::isAllWhitespace(text.data(), text.size())) {
      WorkerInfoPtr info;
      assignPrefix(info);
      fiHandler->data(stringValueOf(text), info, -1, -1);
    }
  }
  characters.clear();
}

XMLHandler::Text XMLHandler::valueConstraintOr(Text text, const ParseItem& item) const {
  const char16_t* supplied = view ? view->valueConstraint(item.getMemberIndex(), item.getElementIndex()) : nullptr;
  return supplied ? Text(supplied) : text;
}

PWFData& XMLHandler::convertElementText(Text text, ParseItem& item) {
  const char16_t* supplied = text.empty() && view ? view->valueConstraint(item.getMemberIndex(), item.getElementIndex())
                                                  : nullptr;
  if (!supplied) return convertStringToData(text, &item, kItemsOwnType);
  // An empty element takes its default or fixed value, and is written
  // back empty as it was read.
  PWFData& value = convertStringToData(supplied, &item, kItemsOwnType);
  value.setLexicalForm(Text());
  return value;
}

void XMLHandler::learnValueTraits(ParseItem& item) const {
  const long typeIndex = contentTypeIndex(item);
  ValueTraits traits;
  traits.shape = ValueShape::Single;
  traits.whiteSpace = DictCodes::eWhiteSpacePreserve;
  if (view) {
    const long itemTypeIndex = view->listItemType(typeIndex);
    if (itemTypeIndex >= 0) traits.shape = ValueShape::List;
    else if (view->isUnion(typeIndex)) traits.shape = ValueShape::Union;
    // A union may resolve to a QName member.
    traits.qualifiedNames = view->isQualifiedName(typeIndex) || view->isUnion(typeIndex) ||
                            view->isQualifiedName(itemTypeIndex) || view->isUnion(itemTypeIndex);
    traits.whiteSpace = view->stringWhiteSpace(typeIndex);
    traits.attributesWithValues = typeIndex >= 0 && !attributesWithValuesOf(typeIndex).empty();
    // What resetDocCharacters does with whitespace, decided in advance.
    traits.whitespaceIgnored = traits.shape == ValueShape::Single && item.getValueLogicalType() < 1 &&
                               (typeIndex < 0 || (!isMixedContent(typeIndex) && firstSimpleMember(typeIndex) < 0));
  }
  item.setValueTraits(traits);
}

// ---------------------------------------------------------------------------
// Conversion

PWFData& XMLHandler::stringValueOf(Text text) {
  stringValue.assignString(text.data(), text.size());
  return stringValue;
}

PWFData& XMLHandler::convertStringToData(Text text, ParseItem* item, long typeIndex) {
  static constexpr const char* kFunction = "XMLHandler::convertStringToData";
  try {
    return convertValue(text, item, typeIndex);
  } catch (const ZelConversionException& cause) {
    // Laxly matched content keeps what it cannot type.
    if (isLaxContent()) return stringValueOf(text);
    const ELogicalType type = typeIndex == kItemsOwnType ? item->getValueLogicalType() : view->logicalType(typeIndex);
    ZelParserException e(__FILE__, __LINE__, kFunction, getLogSourceName(),
                         ZelMessages::CP_XML_DATA_READ_CONVERSION_ERROR);
    e.addInsert("Error converting characters into a data value")
        .addInsert(traceGetMsg())
        .addInsert(traceGetCurXMLElement())
        .addInsert(XMLUtils::traceGetLogicalTypeDesc(type))
        .addInsert(cause);
    e.setSummary(quotedForMessage(text) + " is not a valid " + XMLUtils::traceGetLogicalTypeDesc(type));
    raise(e);
  } catch (...) {
    if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"Unexpected exception caught. Rethrowing"});
    throw;
  }
}

PWFData& XMLHandler::valueSlot(ELogicalType type) {
  // A type outside the known ones (a corrupt dictionary) ends as an internal error.
  const auto index = static_cast<std::size_t>(type);
  return index < typedValues.size() ? typedValues[index] : typedValues[eLogicalNone];
}

PWFData& XMLHandler::convertValue(Text read, ParseItem* item, long typeIndex) {
  if (!item) return stringValueOf(read);
  const ELogicalType type = typeIndex == kItemsOwnType ? item->getValueLogicalType() : view->logicalType(typeIndex);
  // Strings keep, replace or collapse whitespace as their type says; no
  // other value has whitespace of its own.
  const Text text =
      type != eLogicalString ? XMLUtils::trimWhitespace(read)
      : typeIndex == kItemsOwnType ? normaliseWhiteSpace(read, valueTraitsOf(*item).whiteSpace)
                                   : normaliseWhiteSpace(read, view->stringWhiteSpace(typeIndex));

  // Null encodings apply only to nillable elements (asked last: it is the dearest question).
  const ENullEncoding encoding = item->getNullEncoding();
  const char16_t* nullText = item->getNullEncodingValue();
  const bool spellsNull =
      (encoding == eNULLEmpty && text.empty()) || (encoding == eNULLValue && nullText && text == nullText);
  if (spellsNull && item->getDictionary() && type >= 1 && view && view->isNillable(item->getElementIndex())) {
    if (ZelLog::traceOn()) ZelLog::trace(this, "XMLHandler::convertStringToData", {"Detected null value as part of value."});
    PWFData& value = valueSlot(type);
    value = PWFData::makeNull(type);
    return value;
  }

  const char16_t* data = text.data();
  const std::size_t length = text.size();
  PWFData& value = type == eLogicalString ? stringValue : valueSlot(type);
  bool base64 = false;
  switch (type) {
    case eLogicalString:
      value.assignString(data, length);
      break;
    case eLogicalInteger:
      dataCnv.StrToInt64(data, length, DataCnv::SIGN_LEADING, DataCnv::US_MINUS, DataCnv::US_PLUS, 0,
                         DataCnv::JUSTIFY_RIGHT, u'0', true, value);
      break;
    case eLogicalFloat:
      dataCnv.StrToDbl(data, length, value);
      break;
    case eLogicalBinary:
      base64 = readsBase64(*item, typeIndex);
      value = base64 ? CPBase64Converter::binFromBase64(data, length) : dataCnv.StrToBin(data, length);
      break;
    case eLogicalBoolean:
      value.assignBoolean(stringAsBoolean(text));
      break;
    case eLogicalInterval:
      value = dataCnv.StrToInterval(data, length);
      break;
    case eLogicalDateTime:
      dataCnv.StrToDateTime(data, item->getFormat(), static_cast<long>(length), value);
      break;
    case eLogicalDecimal:
      dataCnv.StrToDec(data, length, false, 0, DataCnv::US_DECIMAL, DataCnv::SIGN_LEADING, DataCnv::US_MINUS,
                       DataCnv::US_PLUS, 0, DataCnv::JUSTIFY_RIGHT, u'0', true, value);
      break;
    case eLogicalNone:
      throwInternalError("XMLHandler::convertStringToData", "Invalid logical type");
  }
  if (text.data() != read.data() || text.size() != read.size() || !isWrittenAsRead(value, text, *item, typeIndex, base64))
    value.setLexicalForm(read);
  return value;
}

bool XMLHandler::readsBase64(const ParseItem& item, long typeIndex) const {
  const XsdBuiltin builtin = typeIndex == kItemsOwnType ? XsdBuiltin::None : view->type(typeIndex).builtin;
  if (builtin == XsdBuiltin::Base64Binary || builtin == XsdBuiltin::HexBinary) return builtin == XsdBuiltin::Base64Binary;
  return item.getDataEncoding() == edeBase64;
}

bool XMLHandler::isLexicalFormOf(long typeIndex, Text read) {
  const XsdBuiltin builtin = view->type(typeIndex).builtin;
  if (builtin == XsdBuiltin::None) return true;
  const Text text = view->logicalType(typeIndex) == eLogicalString
                        ? normaliseWhiteSpace(read, view->stringWhiteSpace(typeIndex))
                        : XMLUtils::trimWhitespace(read);
  if (builtin == XsdBuiltin::Boolean && descriptor) {
    const prf_XML_MSET_DEFINITION& messageSet = descriptor->getXMLMsgSetDefinition();
    if ((!messageSet.booleanTrueValue.empty() && messageSet.booleanTrueValue == text) ||
        (!messageSet.booleanFalseValue.empty() && messageSet.booleanFalseValue == text))
      return true;
  }
  // Strings compare with an enumeration as text, other values by value.
  return isXsdLexicalForm(builtin, text) &&
         (view->logicalType(typeIndex) != eLogicalString || view->enumerationLists(typeIndex, text));
}

bool XMLHandler::isWrittenAsRead(const PWFData& value, Text text, ParseItem& item, long typeIndex,
                                 bool readAsBase64) const {
  switch (value.getDataLogicalType()) {
    case eLogicalInteger:
      return isPlainIntegerText(text);
    case eLogicalFloat:
      return DataCnv::isDoubleWrittenAs(value.getFloatValue(), text);
    case eLogicalBoolean: {
      const prf_XML_MSET_DEFINITION* messageSet = descriptor ? &descriptor->getXMLMsgSetDefinition() : nullptr;
      if (value.getBooleanValue())
        return messageSet && !messageSet->booleanTrueValue.empty() ? messageSet->booleanTrueValue == text
                                                                   : text == u"true";
      return messageSet && !messageSet->booleanFalseValue.empty() ? messageSet->booleanFalseValue == text
                                                                  : text == u"false";
    }
    case eLogicalBinary:
      // Hexadecimal digits are written in upper case, base64 on one line,
      // each as the item's encoding says.
      if (readAsBase64 != (item.getDataEncoding() == edeBase64)) return false;
      for (const char16_t unit : text)
        if (XMLUtils::isWhitespace(unit) || (!readAsBase64 && unit >= u'a' && unit <= u'f')) return false;
      return true;
    case eLogicalInterval:
      return text == dataCnv.StrFromInterval(value.getIntervalValue(), writtenText).view();
    case eLogicalDateTime:
      // A zero offset spelled as one is written Z (unless the message set
      // preserves the spelling), which a pattern of the type may refuse.
      // Tested a character at a time first: every date and time comes here.
      if (const std::size_t n = text.size();
          n > 6 && text[n - 3] == u':' && (text[n - 6] == u'+' || text[n - 6] == u'-') && text.substr(n - 5) == u"00:00")
        return !(view && view->hasPattern(typeIndex == kItemsOwnType ? item.getResolvedTypeIndex() : typeIndex));
      return text.empty() || text[0] != u'-' || !isFirstGMonthForm(text);
    case eLogicalString:
    case eLogicalDecimal:
    case eLogicalNone:
      break;
  }
  // The value keeps its text as it is.
  return true;
}

XMLHandler::Text XMLHandler::normaliseWhiteSpace(Text text, std::uint8_t rule) {
  if (rule == DictCodes::eWhiteSpacePreserve) return text;
  // Most values have no whitespace but single blanks between words, and
  // every unit above the blank is no whitespace: four units at a time are
  // passed over when none is at most the blank.
  const std::size_t size = text.size();
  const auto keptAt = [&](std::size_t i) {
    const char16_t unit = text[i];
    if (unit > u' ') return true;
    if (unit != u' ') return !XMLUtils::isWhitespace(unit);
    return rule == DictCodes::eWhiteSpaceReplace || (i > 0 && i + 1 < size && !XMLUtils::isWhitespace(text[i + 1]));
  };
  bool unchanged = true;
  std::size_t i = 0;
  for (; i + 4 <= size && unchanged; i += 4) {
    std::uint64_t units;
    std::memcpy(&units, text.data() + i, sizeof units);
    // A unit below 0x21 borrows into its top bit where it had none.
    if (((units - 0x0021002100210021u) & ~units & 0x8000800080008000u) == 0) continue;
    unchanged = keptAt(i) && keptAt(i + 1) && keptAt(i + 2) && keptAt(i + 3);
  }
  for (; i < size && unchanged; ++i) unchanged = keptAt(i);
  if (unchanged) return text;
  normalisedText.clear();
  if (rule == DictCodes::eWhiteSpaceReplace) {
    for (const char16_t unit : text) normalisedText.append(XMLUtils::isWhitespace(unit) ? u' ' : unit);
    return normalisedText.view();
  }
  ListTokens words(text);
  for (Text word; words.next(word);) {
    if (!normalisedText.empty()) normalisedText.append(u' ');
    normalisedText.append(word);
  }
  return normalisedText.view();
}

bool XMLHandler::stringAsBoolean(Text text) const {
  if (descriptor) {
    // A message set without spellings of its own has none to compare.
    const prf_XML_MSET_DEFINITION& messageSet = descriptor->getXMLMsgSetDefinition();
    if (!messageSet.booleanTrueValue.empty() && messageSet.booleanTrueValue == text) return true;
    if (!messageSet.booleanFalseValue.empty() && messageSet.booleanFalseValue == text) return false;
  }
  if (equalsIgnoringCase(text, u"true") || text == u"1") return true;
  if (equalsIgnoringCase(text, u"false") || text == u"0") return false;
  const PWFData number = dataCnv.StrToInt32(text.data(), text.size(), DataCnv::SIGN_LEADING, DataCnv::US_MINUS,
                                            DataCnv::US_PLUS, 0, DataCnv::JUSTIFY_RIGHT, u'0', true);
  return number.getIntegerValue() != 0;
}

// ---------------------------------------------------------------------------
// xsi:type

unsigned int XMLHandler::resolveQualifiedName(const XMLCh* value, std::size_t& localNameOffset) {
  // An unbound prefix makes the scanner report an error, which raises.
  xercesc::XMLBuffer prefix(1023, memoryManager);
  int colon = -1;
  const unsigned int uriId = scanner->resolveQName(value, prefix, xercesc::ElemStack::Mode_Element, colon);
  localNameOffset = colon >= 0 ? static_cast<std::size_t>(colon) + 1 : 0;
  return uriId;
}

const XMLCh* XMLHandler::trimmedQualifiedName(const XMLCh* value) {
  const Text text(value);
  const Text trimmed = XMLUtils::trimWhitespace(text);
  if (trimmed.size() == text.size()) return value;
  qualifiedNameText.assign(trimmed);
  return qualifiedNameText.c_str();
}

long XMLHandler::getTypeIndexFromXsiTypeAttribute(const XMLCh* attributeValue) {
  if (!descriptor || !scanner) return -1;
  const XMLCh* value = trimmedQualifiedName(attributeValue);
  std::size_t localName = 0;
  ZelBufferedWstring<64> uri;
  getNamespace(resolveQualifiedName(value, localName), uri);
  long typeIndex = -1;
  if (descriptor->getTypeIndexForTypeText(value + localName, uri, typeIndex, !namespacesEnabled) != 0) return -2;
  return typeIndex;
}

ZelWstring XMLHandler::resolveXsiTypePrefix(const XMLCh* attributeValue) {
  const XMLCh* value = trimmedQualifiedName(attributeValue);
  std::size_t localName = 0;
  ZelWstring result;
  if (scanner) getNamespace(resolveQualifiedName(value, localName), result);
  if (!result.empty()) result.append(u':');
  return result.append(value + localName);
}

// ---------------------------------------------------------------------------
// Lists and unions

std::unique_ptr<ParseItem> XMLHandler::obtainListTokenItem(const ParseItem& item, long itemTypeIndex) {
  if (item.getWhereDefined() == eDefinedByType)
    return itemPool->obtain(getOwner(), top(), descriptor, u"", kNoNamespace,
                            static_cast<std::uint16_t>(eKindSelfDefiningField), eItemNameless, itemTypeIndex);
  // The items of a global element's list take its element definition's
  // format and binary encoding, as a member's items take the member's.
  if (item.getWhereDefined() == eDefinedAsElement)
    return itemPool->obtain(getOwner(), top(), descriptor, u"", kNoNamespace, eDefinedAsElement, item.getIndex(),
                            itemTypeIndex, eItemFromDefinition);
  return itemPool->obtain(getOwner(), top(), descriptor, u"", kNoNamespace, eDefinedAsTypeMember,
                          item.getMemberIndex(), itemTypeIndex, eItemFromDefinition);
}

void XMLHandler::resolveListType(ParseItem& item, Text text, long unionMemberList) {
  const EnclosingList list{unionMemberList != -1 ? unionMemberList : contentTypeIndex(item), unionMemberList != -1};
  const long itemTypeIndex = view->listItemType(list.typeIndex);
  ListTokens tokens(text);
  Text token;
  while (tokens.next(token)) {
    std::unique_ptr<ParseItem> tokenItem = obtainListTokenItem(item, itemTypeIndex);
    if (view->isUnion(itemTypeIndex)) {
      resolveUnionType(*tokenItem, token, list, false);
    } else {
      WorkerInfoPtr info;
      assignPrefix(info);
      if (view->isQualifiedName(itemTypeIndex)) noteValueNamespace(token, info);
      fiHandler->data(convertStringToData(token, tokenItem.get(), kItemsOwnType), info, itemTypeIndex,
                      list.reportedType());
      tokenItem->setDataSent();
    }
    itemPool->recycle(std::move(tokenItem));
  }
}

long XMLHandler::walkUnionMembers(long memberIndex, std::vector<long>& stack) const {
  long m = memberIndex;
  // Deeper than there are types, the unions run in a cycle.
  const std::size_t typeCount = descriptor->getTypeCache().size();
  std::size_t nesting = 0;
  while (m >= 0) {
    const prf_SMD_TYPEMEMBER_DEFINITION& member = view->member(m);
    if (member.elementId == 0 && member.typeIndex >= 0) {
      const prf_SMD_TYPE_DEFINITION& type = view->type(member.typeIndex);
      if (type.logicalType > 0 || type.typeKind == DictCodes::eTypeKindList) return m;
      if (type.typeKind == DictCodes::eTypeKindUnion) {
        const long first = view->firstMember(member.typeIndex);
        if (first < 0 || ++nesting > typeCount) return -1;
        stack.push_back(m);
        m = first;
        continue;
      }
    }
    m = view->nextMember(m);
  }
  return -1;
}

long XMLHandler::getNextUnionMemberIndex(ParseItem& item, std::vector<long>& stack) const {
  if (!descriptor) return -1;
  const long typeIndex = contentTypeIndex(item);
  if (typeIndex < 0) return -1;
  if (item.getLastSimpleChildMemberIndex() >= 0) {
    long next = view->nextMember(item.getLastSimpleChildMemberIndex());
    while (next < 0 && !stack.empty()) {
      next = view->nextMember(stack.back());
      stack.pop_back();
    }
    return next < 0 ? -1 : walkUnionMembers(next, stack);
  }
  long unionType = typeIndex;
  const prf_SMD_TYPE_DEFINITION& type = view->type(typeIndex);
  if (type.baseTypeId > 0 && type.baseTypeIndex >= 0 &&
      view->type(type.baseTypeIndex).typeKind == DictCodes::eTypeKindUnion)
    unionType = type.baseTypeIndex;
  const long first = view->firstMember(unionType);
  return first < 0 ? -1 : walkUnionMembers(first, stack);
}

bool XMLHandler::resolveUnionType(ParseItem& item, Text text, EnclosingList list, bool testOnly) {
  static constexpr const char* kFunction = "XMLHandler::resolveUnionType";
  std::vector<long> stack;
  PWFData value;
  long valueType = -1;
  for (long candidate = getNextUnionMemberIndex(item, stack); candidate >= 0;
       candidate = getNextUnionMemberIndex(item, stack)) {
    const long candidateType = view->member(candidate).typeIndex;
    if (view->type(candidateType).typeKind == DictCodes::eTypeKindList) {
      if (list.typeIndex != -1) {
        ZelParserException e(__FILE__, __LINE__, kFunction, getLogSourceName(),
                             ZelMessages::CP_XML_LIST_OF_LIST_NOT_ALLOWED);
        e.addInsert("Error resolving union member type, List type with itemType of List not allowed")
            .addInsert(traceGetCurXMLElement())
            .addInsert(view->typeName(list.typeIndex))
            .addInsert(view->typeName(candidateType));
        raise(e);
      }
      bool accepted = false;
      try {
        accepted = resolveUnionOfList(item, text, candidateType);
      } catch (const ZelConversionException&) {
        if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"Unable to cast value to a list of", view->typeName(candidateType)});
      }
      if (accepted) {
        if (!testOnly) resolveListType(item, text, candidateType);
        return true;
      }
    } else {
      // A text outside the member's lexical space is a failed cast too: the
      // conversions alone are lenient (a boolean of any number).
      try {
        if (isLexicalFormOf(candidateType, text)) {
          value = convertValue(text, &item, candidateType);
          valueType = candidateType;
        }
      } catch (const ZelConversionException&) {
      }
      if (value.isNothing() && ZelLog::traceOn())
        ZelLog::trace(this, kFunction,
                      {"Unable to cast value to ", XMLUtils::traceGetLogicalTypeDesc(view->logicalType(candidateType))});
    }
    item.setLastSimpleChildMemberIndex(candidate);
    if (!value.isNothing()) break;
  }

  if (!value.isNothing()) {
    if (ZelLog::traceOn())
      ZelLog::trace(this, kFunction, {"Union cast to logical type: ", XMLUtils::traceGetLogicalTypeDesc(value.getDataLogicalType())});
    if (!testOnly) {
      WorkerInfoPtr info;
      assignPrefix(info);
      if (view->isQualifiedName(valueType)) noteValueNamespace(text, info);
      fiHandler->data(value, info, valueType, list.reportedType());
    }
    return true;
  }
  if (testOnly) return false;
  if (isLaxContent()) {
    WorkerInfoPtr info;
    assignPrefix(info);
    fiHandler->data(stringValueOf(text), info, -1, list.reportedType());
    return true;
  }
  ZelParserException e(__FILE__, __LINE__, kFunction, getLogSourceName(), ZelMessages::CP_XML_UNRESOLVED_UNION_ERROR);
  e.addInsert("Error resolving union member type")
      .addInsert(traceGetCurXMLElement())
      .addInsert(view->typeName(contentTypeIndex(item)));
  raise(e);
}

bool XMLHandler::resolveUnionOfList(ParseItem& item, Text text, long listTypeIndex) {
  const long itemTypeIndex = view->listItemType(listTypeIndex);
  const bool unionItems = view->isUnion(itemTypeIndex);
  ListTokens tokens(text);
  Text token;
  while (tokens.next(token)) {
    if (unionItems) {
      std::unique_ptr<ParseItem> tokenItem = obtainListTokenItem(item, itemTypeIndex);
      const bool accepted = resolveUnionType(*tokenItem, token, EnclosingList{listTypeIndex, true}, true);
      itemPool->recycle(std::move(tokenItem));
      if (!accepted) return false;
    } else {
      if (!isLexicalFormOf(itemTypeIndex, token)) return false;
      convertValue(token, &item, itemTypeIndex);
    }
  }
  return true;
}
