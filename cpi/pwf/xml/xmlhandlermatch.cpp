// XMLHandler: which dictionary definition an element or attribute stands
// for, and what the attributes of an element produce.
#include "xmlhandler.h"

#include "fihandler.h"
#include "xmldictionaryinfo.h"
#include "xmldictionaryview.h"
#include "xmlworkerutility.h"

#include <xercesc/framework/XMLAttr.hpp>

#include <algorithm>

namespace {
bool isDocumentOrRoot(const ParseItem& item) {
  return item.getItemType() == eItemDocument || item.getItemType() == eItemRoot;
}

const ZelWstring& schemaInstanceNamespace() {
  static const ZelWstring uri(XML_SCHEMA_INSTANCE_NAMESPACE_STR);
  return uri;
}
}  // namespace

long XMLHandler::contentTypeIndex(const ParseItem& item) const {
  if (!view || !item.getDictionary()) return -1;
  if (item.getItemType() == eItemDocument && item.getMemberIndex() >= 0)
    return view->member(item.getMemberIndex()).containingTypeIndex;
  return item.getResolvedTypeIndex();
}

inline bool XMLHandler::isSpentMember(const ParseItem& parent, long member) const {
  // A member is seldom the one the previous sibling took: that test first,
  // its occurrences only then.
  return member >= 0 && member == parent.getLastChildMemberIndex() && view->member(member).maxOccurs == 1;
}

long XMLHandler::spentMember(const ParseItem& parent) const {
  const long last = parent.getLastChildMemberIndex();
  return isSpentMember(parent, last) ? last : -1;
}

bool XMLHandler::findDefinition(const xercesc::XMLElementDecl& declaration, unsigned int uriId, ParseItem& parent,
                                long parentTypeIndex, const XMLCh* name, const ZelWstring& uri,
                                const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs, XMLSize_t attrCount,
                                EWhereDefined& whereDefined, long& index, ContentProcessing& processing) {
  // Under the document or the root, elements are matched against messages,
  // which the host hears about: those searches are never skipped.
  const bool mayRemember = parentTypeIndex >= 0 && !isDocumentOrRoot(parent);
  const auto usable = [&](const ElementMatch* known) {
    return known && !(known->directMember && isSpentMember(parent, known->index));
  };
  if (const ElementMatch* known = mayRemember ? matchCache.find(declaration, uriId, parentTypeIndex) : nullptr;
      usable(known)) {
    whereDefined = known->whereDefined;
    index = known->index;
    processing = known->processing;
    if (known->directMember) parent.setLastChildMemberIndex(index);
    // Members are found by their XML name, which the element then shares.
    return whereDefined == eDefinedAsTypeMember;
  }
  // Searches through nested groups are dear enough to be kept from one
  // document to the next.
  const bool keepByName = mayRemember && view->hasNestedGroups(parentTypeIndex);
  const std::u16string_view elementName = keepByName ? std::u16string_view(name) : std::u16string_view();
  if (const ElementMatch* known = keepByName ? namedMatches.find(parentTypeIndex, elementName, uri.view()) : nullptr;
      usable(known)) {
    matchCache.remember(declaration, uriId, parentTypeIndex, *known);
    return findDefinition(declaration, uriId, parent, parentTypeIndex, name, uri, attrs, attrCount, whereDefined,
                          index, processing);
  }
  searchReadContext = false;
  getDefFromXMLStartElement(parentTypeIndex, name, uri, attrs, attrCount, whereDefined, index, processing, 0);
  if (mayRemember && !searchReadContext) {
    const bool directMember = whereDefined == eDefinedAsTypeMember && parent.getLastChildMemberIndex() == index;
    const ElementMatch match{index, whereDefined, processing, directMember};
    matchCache.remember(declaration, uriId, parentTypeIndex, match);
    if (keepByName) namedMatches.remember(parentTypeIndex, elementName, uri.view(), match);
  }
  return false;
}

bool XMLHandler::getDefFromXMLStartElement(long parentTypeIndex, const XMLCh* name, const ZelWstring& uri,
                                           const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs, XMLSize_t attrCount,
                                           EWhereDefined& whereDefined, long& index,
                                           ContentProcessing& processing, int nesting) {
  static constexpr const char* kFunction = "XMLHandler::getDefFromXMLStartElement";
  whereDefined = eWhereDefinedNotSet;
  index = -1;
  processing = ContentProcessing::Strict;
  if (!descriptor) return false;
  checkGroupNesting(nesting);
  const std::u16string_view elementName(name);

  const long contentKind = parentTypeIndex >= 0 ? view->type(parentTypeIndex).contentKind : -1;
  if (contentKind == DictCodes::eContentOpenSkip) {
    processing = ContentProcessing::Skip;
    return false;
  }
  if (contentKind == DictCodes::eContentOpenLax) processing = ContentProcessing::Lax;
  bool searchMembers = parentTypeIndex >= 0;
  const bool searchMessages = DictCodes::isOpenContent(contentKind) || isDocumentOrRoot(*top());
  if (searchMessages) {
    // The host hears about the messages tried.
    searchReadContext = true;
    for (long m = view->firstMember(parentTypeIndex), end = view->memberEnd(parentTypeIndex); m < end; ++m) {
      const long elementIndex = view->member(m).elementIndex;
      if (elementIndex >= 0 && matchMessageDefAgainstXMLStartElement(elementIndex, name, uri, attrs, attrCount)) {
        if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"Matched against message as type member, memberIndex", m});
        whereDefined = eDefinedAsTypeMember;
        index = m;
        return true;
      }
    }
    fiHandler->startEmbeddedMessage();
    for (const long t : descriptor->messageTagsNamed(elementName)) {
      if (matchMessageDefAgainstXMLStartElement(t, name, uri, attrs, attrCount)) {
        if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"Matched against message, tagIndex", t});
        whereDefined = eDefinedAsElement;
        index = t;
        return true;
      }
    }
    fiHandler->endEmbeddedMessage(false, true);
    // Outside a subtree, elements under the document or open content are
    // messages or global elements, never members.
    if (!subtreeBitstream) searchMembers = false;
  }

  if (searchMembers) {
    // A member whose name is unique in its type is the only candidate:
    // documents follow the members' order, leaving optional ones out, so
    // the search starts where the previous sibling was found.
    ParseItem& parent = *top();
    const long last = nesting == 0 ? parent.getLastChildMemberIndex() : -1;
    const long spent = nesting == 0 ? spentMember(parent) : -1;
    bool spentMatches = false;
    for (long hint = last, end = last < 0 ? -1 : view->memberEnd(parentTypeIndex); hint < end; ++hint) {
      if (descriptor->getXMLTypeMemberDefinition(hint).xmlName != elementName || hint == spent) continue;
      if (!view->hasUniqueElementName(parentTypeIndex, hint) || !memberMatchesElement(hint, uri, attrs, attrCount))
        break;
      parent.setLastChildMemberIndex(hint);
      whereDefined = eDefinedAsTypeMember;
      index = hint;
      return true;
    }
    // The loosest wildcard among the nested groups that did not match.
    ContentProcessing passed = ContentProcessing::Strict;
    for (long m = view->firstMember(parentTypeIndex), end = view->memberEnd(parentTypeIndex); m < end; ++m) {
      const prf_SMD_TYPEMEMBER_DEFINITION& member = view->member(m);
      if (member.elementId != 0) {
        if (descriptor->getXMLTypeMemberDefinition(m).xmlName != elementName ||
            !memberMatchesElement(m, uri, attrs, attrCount))
          continue;
        if (m == spent) {
          spentMatches = searchReadContext = true;
          continue;
        }
        if (nesting == 0) parent.setLastChildMemberIndex(m);
        whereDefined = eDefinedAsTypeMember;
        index = m;
        return true;
      }
      // A nested group: its members count as the type's own.
      if (member.memberKind != DictCodes::eClassStructure) continue;
      EWhereDefined nestedWhere;
      long nestedIndex;
      ContentProcessing nested;
      const bool found = getDefFromXMLStartElement(member.typeIndex, name, uri, attrs, attrCount, nestedWhere,
                                                   nestedIndex, nested, nesting + 1);
      passed = std::max(passed, nested);
      if (!found) continue;
      const bool accepted =
          nestedWhere == eDefinedAsTypeMember ||
          (member.typeIndex >= 0 && DictCodes::isOpenContent(view->type(member.typeIndex).contentKind)) ||
          (nestedWhere == eDefinedAsElement && view->tag(nestedIndex).tagClass == eTagClassMessage);
      if (!accepted) continue;
      whereDefined = nestedWhere;
      index = nestedIndex;
      processing = std::max(processing, nested);
      return true;
    }
    // No member took the element: a wildcard among them does, and one that
    // skips its elements leaves it self-defining.
    processing = std::max(processing, passed);
    if (processing == ContentProcessing::Skip) return false;
    // Nothing else takes a repeat of a member that occurs once (an invalid
    // document): the member does.
    if (spentMatches && processing == ContentProcessing::Strict) {
      whereDefined = eDefinedAsTypeMember;
      index = spent;
      return true;
    }
  }

  // Inside a nested group the caller takes a global element only from open
  // content: the search below finds fields and structures, never messages,
  // and would be thrown away (for each group an element passes through).
  if (nesting > 0 && !(parentTypeIndex >= 0 && view->type(parentTypeIndex).contentKind == DictCodes::eContentOpen))
    return false;
  const TAG_STYLE style = descriptor->getFormatVersion() < 600 ? eTagStyleAny : eTagStyleElementDeclaration;
  const long tagIndex = descriptor->getXMLTagDefs().getElementIndexFromXMLElement(name, uri, style);
  if (tagIndex < 0) return false;
  if (ZelLog::traceOn()) ZelLog::trace(this, kFunction, {"Matched against element definition xml name, tagIndex", tagIndex});
  whereDefined = eDefinedAsElement;
  index = tagIndex;
  return true;
}

bool XMLHandler::memberMatchesElement(long memberIndex, const ZelWstring& uri,
                                      const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs, XMLSize_t attrCount) const {
  static constexpr const char* kFunction = "XMLHandler::getDefFromXMLStartElement";
  const long elementIndex = view->member(memberIndex).elementIndex;
  const prf_XML_TYPEMEMBER_DEFINITION& xml = descriptor->getXMLTypeMemberDefinition(memberIndex);
  switch (xml.render) {
    case erElement:
    case erElementWithValueAttribute:
      if (namespacesEnabled && !view->elementNamespaceMatches(elementIndex, uri)) return false;
      if (ZelLog::traceOn())
        ZelLog::trace(this, kFunction, {"Matched against type member element name, memberIndex", memberIndex});
      return true;
    case erElementWithIdAttribute:
    case erElementWithIdAndValueAttribute:
      if (namespacesEnabled && (elementIndex < 0 || !view->elementNamespaceMatches(elementIndex, uri))) return false;
      searchReadContext = true;
      if (!hasIdentifyingAttribute(xml.idAttributeName, xml.idAttributeValue, xml.idAttributeNamespace, attrs,
                                   attrCount))
        return false;
      if (ZelLog::traceOn())
        ZelLog::trace(this, kFunction, {"Matched against type member id attribute, memberIndex", memberIndex});
      return true;
    case erAttribute:
    case erUndefined:
      break;
  }
  return false;
}

bool XMLHandler::matchMessageDefAgainstXMLStartElement(long tagIndex, const XMLCh* name, const ZelWstring& uri,
                                                       const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs,
                                                       XMLSize_t attrCount) const {
  const prf_XML_TAG_DEFINITION& xml = descriptor->getXMLTagDefinition(tagIndex);
  if (xml.xmlName != std::u16string_view(name)) return false;
  if (namespacesEnabled && !view->namespaceMatches(view->tag(tagIndex).namespaceIndex, uri)) return false;
  if (xml.render == erElement) return true;
  return hasIdentifyingAttribute(xml.idAttributeName, xml.idAttributeValue, xml.idAttributeNamespace, attrs, attrCount);
}

bool XMLHandler::hasIdentifyingAttribute(const ZelWstring& idName, const ZelWstring& idValue, long idNamespace,
                                         const xercesc::RefVectorOf<xercesc::XMLAttr>& attrs,
                                         XMLSize_t attrCount) const {
  for (XMLSize_t i = 0; i < attrCount; ++i) {
    const xercesc::XMLAttr& attribute = *attrs.elementAt(i);
    if (idName != std::u16string_view(attribute.getName()) || idValue != std::u16string_view(attribute.getValue()))
      continue;
    if (!namespacesEnabled) return true;
    if (view->namespaceMatches(idNamespace, attributeNamespace(attribute))) return true;
  }
  return false;
}

long XMLHandler::getTypeMemberIndexFromXMLAttributeName(long typeIndex, const XMLCh* name, const ZelWstring& uri) const {
  if (!view || typeIndex < 0) return -1;
  for (const AttributeMember& member : attributeMembersOf(typeIndex)) {
    if (XMLUtils::isTerminatedText(name, member.name) && view->elementNamespaceMatches(member.elementIndex, uri))
      return member.index;
  }
  return -1;
}

const std::vector<XMLHandler::AttributeMember>& XMLHandler::attributeMembersOf(long typeIndex) const {
  return attributeMembers.of(typeIndex, [&](std::vector<AttributeMember>& members) {
    collectAttributeMembers(typeIndex, members, 0);
  });
}

bool XMLHandler::holdsNestedAttributes(const prf_SMD_TYPEMEMBER_DEFINITION& member) const {
  return member.elementId == 0 && !view->isUnion(member.typeIndex);
}

void XMLHandler::collectAttributeMembers(long typeIndex, std::vector<AttributeMember>& members, int nesting) const {
  if (typeIndex < 0) return;
  checkGroupNesting(nesting);
  for (long m = view->firstMember(typeIndex), end = view->memberEnd(typeIndex); m < end; ++m) {
    const prf_XML_TYPEMEMBER_DEFINITION& xml = descriptor->getXMLTypeMemberDefinition(m);
    const prf_SMD_TYPEMEMBER_DEFINITION& member = view->member(m);
    if (xml.render == erAttribute) members.push_back({xml.xmlName.view(), m, member.elementIndex});
    if (holdsNestedAttributes(member)) collectAttributeMembers(member.typeIndex, members, nesting + 1);
  }
}

bool XMLHandler::ignoreAttribute(const XMLCh* attributeName, const ZelWstring& uri) const {
  // Asked for every attribute: the constants' lengths are known at compile
  // time, and the name is compared without being measured.
  static constexpr std::u16string_view kXmlnsNamespace = XML_XMLNS_STR;
  static constexpr std::u16string_view kInstanceNamespace = XML_SCHEMA_INSTANCE_NAMESPACE_STR;
  static constexpr std::u16string_view kSchemaLocation = XML_SCHEMA_LOCATION_STR;
  static constexpr std::u16string_view kNoNamespaceSchemaLocation = XML_NO_NAMESPACE_SCHEMA_LOCATION_STR;
  if (uri.view() == kXmlnsNamespace || XMLUtils::isTerminatedText(attributeName, u"xmlns")) return true;
  return uri.view() == kInstanceNamespace && (XMLUtils::isTerminatedText(attributeName, kSchemaLocation) ||
                                              XMLUtils::isTerminatedText(attributeName, kNoNamespaceSchemaLocation));
}

long XMLHandler::getNextSimpleTypeMemberIndex(const ParseItem& item) const {
  if (!descriptor) return -1;
  const long typeIndex = contentTypeIndex(item);
  if (typeIndex < 0) return -1;
  if (isMixedContent(typeIndex) && item.getLastSimpleChildMemberIndex() >= 0)
    return simpleMemberFrom(view->nextMember(item.getLastSimpleChildMemberIndex()));
  return firstSimpleMember(typeIndex);
}

bool XMLHandler::isMixedContent(long typeIndex) const {
  const long composition = view->type(typeIndex).contentKind;
  return composition == DictCodes::eContentMixedOrdered || composition == DictCodes::eContentMixed;
}

long XMLHandler::firstSimpleMember(long typeIndex) const {
  // Asked for every run of text inside a structure until the item knows
  // its whitespace is no value: learnt once per type.
  long& first = firstSimpleMembers[static_cast<std::size_t>(typeIndex)];
  if (first == kNotLearnt) first = simpleMemberFrom(view->firstMember(typeIndex));
  return first;
}

long XMLHandler::simpleMemberFrom(long m) const {
  // Deeper than there are types, the groups run in a cycle.
  std::size_t nesting = 0;
  while (m >= 0) {
    const prf_SMD_TYPEMEMBER_DEFINITION& member = view->member(m);
    if (member.elementId == 0 && member.typeIndex >= 0) {
      if (view->logicalType(member.typeIndex) > 0) return m;
      if (descriptor->getBaseLogicalType(member.typeIndex) > 0) return m;
      const long nestedFirst = view->firstMember(member.typeIndex);
      if (nestedFirst >= 0) {
        if (++nesting > firstSimpleMembers.size()) return -1;
        m = nestedFirst;
        continue;
      }
    }
    m = view->nextMember(m);
  }
  return -1;
}

void XMLHandler::setLastSimpleChildMemberIndex(const ParseItem& item) const {
  if (item.getMemberIndex() >= 0 && item.getParent()) item.getParent()->setLastSimpleChildMemberIndex(item.getMemberIndex());
}

// ---------------------------------------------------------------------------
// Attributes

void XMLHandler::sendNullValue(ParseItem& item, const WorkerInfoPtr& info) {
  fiHandler->data(PWFData::makeNull(item.getValueLogicalType()), info, -1, -1);
  item.setDataSent();
}

void XMLHandler::sendAttributeValue(ParseItem& item, Text value) {
  const ValueShape shape = valueTraitsOf(item).shape;
  const bool qualifiedNames = hasQualifiedNameValue(item);
  if (qualifiedNames) keepValueScope();
  if (shape == ValueShape::List) {
    resolveListType(item, value, -1);
  } else if (!value.empty() && shape == ValueShape::Union) {
    resolveUnionType(item, value, EnclosingList(), false);
  } else {
    WorkerInfoPtr info;
    if (qualifiedNames) noteValueNamespace(value, info);
    fiHandler->data(convertStringToData(value, &item, kItemsOwnType), info, -1, -1);
  }
}

void XMLHandler::processAttribute(const xercesc::XMLAttr& attribute) {
  // The name is compared in place, never measured: most attributes are
  // found among a few members by their first units.
  const XMLCh* name = attribute.getName();
  const ZelWstring& uri = attributeNamespace(attribute);
  ParseItem& item = *top();

  if (namespacesEnabled && ignoreAttribute(name, uri)) return;

  const long tagIndex = item.getElementIndex();
  const long memberIndex = item.getMemberIndex();
  // The kind says what the tag's class is, without the tag.
  if (view && tagIndex >= 0 && item.getElementKind() == eKindMessage) {
    const prf_XML_TAG_DEFINITION& xml = descriptor->getXMLTagDefinition(tagIndex);
    if (xml.render == erElementWithIdAttribute && XMLUtils::isTerminatedText(name, xml.idAttributeName.view()) &&
        (!namespacesEnabled || view->namespaceMatches(xml.idAttributeNamespace, uri)))
      return;
  }
  if (view && memberIndex >= 0) {
    const prf_XML_TYPEMEMBER_DEFINITION& xml = descriptor->getXMLTypeMemberDefinition(memberIndex);
    if ((xml.render == erElementWithIdAttribute || xml.render == erElementWithIdAndValueAttribute) &&
        XMLUtils::isTerminatedText(name, xml.idAttributeName.view()) &&
        (!namespacesEnabled || view->namespaceMatches(xml.idAttributeNamespace, uri)))
      return;
  }
  // The attribute that makes the element null, for members and global
  // elements (a document's root among them) alike; the name is asked first,
  // the dictionary last.
  const char16_t* nullText = item.getNullEncodingValue();
  const bool nullAttribute =
      (item.getNullEncoding() == eNULLAttribute && nullText && XMLUtils::isTerminatedText(name, nullText)) ||
      (namespacesEnabled && item.getNullEncoding() == eNULLXsiNil && XMLUtils::isTerminatedText(name, XML_NIL_STR) &&
       uri.view() == XML_SCHEMA_INSTANCE_NAMESPACE_STR);
  if (nullAttribute && view && (memberIndex >= 0 || tagIndex >= 0) && item.getValueLogicalType() >= 1 &&
      view->isNillable(tagIndex)) {
    if (stringAsBoolean(attribute.getValue())) sendNullValue(item, WorkerInfoPtr());
    return;
  }
  if (view && memberIndex >= 0) {
    const prf_XML_TYPEMEMBER_DEFINITION& xml = descriptor->getXMLTypeMemberDefinition(memberIndex);
    if ((xml.render == erElementWithValueAttribute || xml.render == erElementWithIdAndValueAttribute) &&
        XMLUtils::isTerminatedText(name, xml.valueAttributeName.view()) &&
        (!namespacesEnabled || view->namespaceMatches(xml.valueAttributeNamespace, uri))) {
      sendAttributeValue(item, attribute.getValue());
      item.setDataSent();
      return;
    }
  }

  if (namespacesEnabled && !ignoreXsiType && XMLUtils::isTerminatedText(name, XML_TYPE_STR) &&
      uri.view() == XML_SCHEMA_INSTANCE_NAMESPACE_STR) {
    const ZelWstring& xsi = schemaInstanceNamespace();
    const ZelWstring typeName = resolveXsiTypePrefix(attribute.getValue());
    temporaryItem->ReInitialiseParseItem(getOwner(), &item, descriptor, XML_TYPE_STR, xsi,
                                         static_cast<std::uint16_t>(eKindSelfDefiningField), eItemAttributeMember, -1L);
    fiHandler->startElement(XML_TYPE_STR, xsi, eKindSelfDefiningField, WorkerInfoPtr(), -1, -1);
    fiHandler->data(convertStringToData(typeName.view(), temporaryItem.get(), kItemsOwnType), WorkerInfoPtr(), -1, -1);
    fiHandler->endElement(XML_TYPE_STR, xsi, WorkerInfoPtr());
    return;
  }

  const long typeIndex = contentTypeIndex(item);
  const long memberOfType = getTypeMemberIndexFromXMLAttributeName(typeIndex, name, uri);
  long globalIndex = -1;
  // Skipped content, or an attribute wildcard that skips, types no attribute.
  const bool skipped = (relaxedContent && item.getContentProcessing() == ContentProcessing::Skip) ||
                       (typeIndex >= 0 && view->type(typeIndex).skipsUndeclaredAttributes);
  if (memberOfType < 0 && !skipped && descriptor && descriptor->getFormatVersion() >= 600)
    globalIndex = descriptor->getXMLTagDefs().getElementIndexFromXMLElement(name, uri, eTagStyleAttributeDeclaration);
  if (memberOfType >= 0 && valueTraitsOf(item).attributesWithValues) presentAttributeMembers.push_back(memberOfType);
  if (memberOfType >= 0 || globalIndex >= 0) {
    ParseItem& field = *temporaryItem;
    // A member was found by its name, which the field then shares.
    if (memberOfType >= 0)
      field.ReInitialiseParseItem(getOwner(), &item, descriptor, uri, knownDefinition(eDefinedAsTypeMember, memberOfType));
    else
      field.ReInitialiseParseItem(getOwner(), &item, descriptor, name, uri, knownDefinition(eDefinedAsElement, globalIndex));
    fiHandler->startElement(field.getTagId(), field.getElementKind(), WorkerInfoPtr(), field.getMemberId(), 0, -1,
                            field.getElementIndex(), field.getMemberIndex());
    sendAttributeValue(field, attribute.getValue());
    fiHandler->endElement(field.getTagId(), WorkerInfoPtr());
    return;
  }

  // Unknown to the dictionary: a self-defining field marked as attribute.
  attributeFieldName.assign(XML_ATTRIBUTE_MARKER_STR).append(name);
  fiHandler->startElement(attributeFieldName.c_str(), uri, eKindSelfDefiningField, WorkerInfoPtr(), -1, -1);
  fiHandler->data(stringValueOf(attribute.getValue()), WorkerInfoPtr(), -1, -1);
  fiHandler->endElement(attributeFieldName.c_str(), uri, WorkerInfoPtr());
}

const std::vector<long>& XMLHandler::attributesWithValuesOf(long typeIndex) const {
  return attributesWithValues.of(typeIndex,
                                 [&](std::vector<long>& members) { collectAttributesWithValues(typeIndex, members, 0); });
}

void XMLHandler::collectAttributesWithValues(long typeIndex, std::vector<long>& members, int nesting) const {
  if (typeIndex < 0) return;
  checkGroupNesting(nesting);
  for (long m = view->firstMember(typeIndex), end = view->memberEnd(typeIndex); m < end; ++m) {
    const prf_SMD_TYPEMEMBER_DEFINITION& member = view->member(m);
    if (descriptor->getXMLTypeMemberDefinition(m).render == erAttribute) {
      if (view->valueConstraint(m, -1)) members.push_back(m);
    } else if (holdsNestedAttributes(member)) {
      collectAttributesWithValues(member.typeIndex, members, nesting + 1);
    }
  }
}

void XMLHandler::supplyAbsentAttributes(ParseItem& item) {
  if (item.getItemType() == eItemRoot || item.getItemType() == eItemNullElement) return;
  for (const long m : attributesWithValuesOf(contentTypeIndex(item))) {
    if (std::find(presentAttributeMembers.begin(), presentAttributeMembers.end(), m) != presentAttributeMembers.end())
      continue;
    // An absent attribute with a default or fixed value has that value.
    ParseItem& field = *temporaryItem;
    field.ReInitialiseParseItem(getOwner(), &item, descriptor, kNoNamespace, knownDefinition(eDefinedAsTypeMember, m));
    fiHandler->startElement(field.getTagId(), field.getElementKind(), WorkerInfoPtr(), field.getMemberId(), 0, -1,
                            field.getElementIndex(), field.getMemberIndex());
    sendAttributeValue(field, view->valueConstraint(m, -1));
    fiHandler->endElement(field.getTagId(), WorkerInfoPtr());
  }
}
