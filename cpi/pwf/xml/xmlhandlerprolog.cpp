// XMLHandler: the XML declaration, DOCTYPE and internal subset, comments and
// processing instructions, entities and scanner errors.
#include "xmlhandler.h"

#include "xmlworkerutility.h"
#include "zelexception.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/framework/XMLNotationDecl.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/util/XMLChar.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/DTD/DTDAttDef.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>

namespace {
constexpr char16_t commentStart[] = u"<!--";
constexpr char16_t commentEnd[] = u"-->";
constexpr char16_t piStart[] = u"<?";
constexpr char16_t piEnd[] = u"?>";
constexpr char16_t elementDeclStart[] = u"<!ELEMENT";
constexpr char16_t attListStart[] = u"<!ATTLIST";
constexpr char16_t entityDeclStart[] = u"<!ENTITY";
constexpr char16_t notationDeclStart[] = u"<!NOTATION";
// The start of the time-stamp comment the writer puts into its documents:
// parsing it back must not make it part of the message.
constexpr std::u16string_view VRK_COMMENT_START = u"VRK Generated XML Output on :";

bool hasText(const XMLCh* text) { return text && *text; }

// XML 1.0 versions: "1." and digits.
bool isXmlVersion(std::u16string_view version) {
  if (version.size() < 3 || version.substr(0, 2) != u"1.") return false;
  for (const char16_t c : version.substr(2))
    if (c < u'0' || c > u'9') return false;
  return true;
}

PWFData identifierValue(const XMLCh* id) {
  return id ? PWFData::makeString(ZelWstring(id)) : PWFData::makeNull(eLogicalString);
}
}  // namespace

void XMLHandler::XMLDecl(const XMLCh* const versionStr, const XMLCh* const encodingStr,
                         const XMLCh* const standaloneStr, const XMLCh* const autoEncodingStr) {
  ZelTraceScope scope(this, "XMLHandler::XMLDecl");
  // The scanner reads any version that begins with "1." as 1.0; a writer
  // would repeat it into a document that readers refuse. The error raises.
  if (versionStr && !isXmlVersion(versionStr) && scanner)
    scanner->emitError(xercesc::XMLErrs::UnsupportedXMLVersion, versionStr);
  // The declared encoding is not kept: a writer chooses its own.
  if (hasText(versionStr)) startMsgInfo->setProperty(eStartMsgVersion, PWFData::makeString(ZelWstring(versionStr)));
  if (hasText(standaloneStr))
    startMsgInfo->setProperty(eStartMsgStandalone, PWFData::makeString(ZelWstring(standaloneStr)));
}

// ---------------------------------------------------------------------------
// Comments and processing instructions travel with the next event.

void XMLHandler::appendPrefixMarkup(const char16_t* opener) {
  resetDocCharacters(false);
  if (!prefixPending) {
    prefixText.assign(opener);
    prefixPending = true;
  } else {
    if (ZelLog::traceOn()) ZelLog::trace(this, "XMLHandler::docComment", {"A prefix is already present. Appending"});
    prefixText.append(opener);
  }
}

void XMLHandler::docComment(const XMLCh* const comment) {
  if (std::u16string_view(comment).substr(0, VRK_COMMENT_START.size()) == VRK_COMMENT_START) {
    if (ZelLog::traceOn()) ZelLog::trace(this, "XMLHandler::docComment", {"Ignoring VRK generated comment"});
    return;
  }
  appendPrefixMarkup(commentStart);
  prefixText.append(comment).append(commentEnd);
}

void XMLHandler::docPI(const XMLCh* const target, const XMLCh* const data) {
  appendPrefixMarkup(piStart);
  prefixText.append(target);
  if (hasText(data)) prefixText.append(u' ').append(data);
  prefixText.append(piEnd);
}

// ---------------------------------------------------------------------------
// DOCTYPE

void XMLHandler::doctypeDecl(const xercesc::DTDElementDecl& elemDecl, const XMLCh* const publicId,
                             const XMLCh* const systemId, const bool hasIntSubset, const bool hasExtSubset) {
  ZelTraceScope scope(this, "XMLHandler::doctypeDecl");
  assignPrefix(startMsgInfo);
  startMsgInfo->setProperty(eStartMsgPublicId, identifierValue(publicId));
  startMsgInfo->setProperty(eStartMsgSystemId, identifierValue(systemId));
}

void XMLHandler::startIntSubset() { internalSubset.clear(); }

void XMLHandler::endIntSubset() {
  startMsgInfo->setProperty(eStartMsgInternalSubset, PWFData::makeString(internalSubset));
}

void XMLHandler::doctypeWhitespace(const XMLCh* const chars, const XMLSize_t length) {
  internalSubset.append(chars, length);
}

void XMLHandler::doctypeComment(const XMLCh* const comment) {
  internalSubset.append(commentStart).append(comment).append(commentEnd);
}

void XMLHandler::doctypePI(const XMLCh* const target, const XMLCh* const data) {
  internalSubset.append(piStart).append(target);
  if (hasText(data)) internalSubset.append(u' ').append(data);
  internalSubset.append(piEnd);
}

void XMLHandler::elementDecl(const xercesc::DTDElementDecl& decl, const bool isIgnored) {
  internalSubset.append(elementDeclStart)
      .append(u' ')
      .append(decl.getFullName())
      .append(u' ')
      .append(decl.getFormattedContentModel())
      .append(u'>');
}

void XMLHandler::startAttList(const xercesc::DTDElementDecl& elemDecl) {
  internalSubset.append(attListStart).append(u' ').append(elemDecl.getFullName());
}

void XMLHandler::attDef(const xercesc::DTDElementDecl& elemDecl, const xercesc::DTDAttDef& attDef,
                        const bool ignoring) {
  // The blanks before each definition arrive through doctypeWhitespace.
  internalSubset.append(attDef.getFullName()).append(u' ');
  const xercesc::XMLAttDef::AttTypes type = attDef.getType();
  if (type == xercesc::XMLAttDef::Enumeration || type == xercesc::XMLAttDef::Notation) {
    if (type == xercesc::XMLAttDef::Notation) internalSubset.append(xercesc::XMLUni::fgNotationString).append(u' ');
    internalSubset.append(u'(');
    for (const XMLCh* c = attDef.getEnumeration(); c && *c; ++c) internalSubset.append(*c == u' ' ? u'|' : *c);
    internalSubset.append(u')');
  } else {
    internalSubset.append(xercesc::XMLAttDef::getAttTypeString(type));
  }
  const xercesc::XMLAttDef::DefAttTypes defaultType = attDef.getDefaultType();
  if (defaultType == xercesc::XMLAttDef::Fixed || defaultType == xercesc::XMLAttDef::Required ||
      defaultType == xercesc::XMLAttDef::Implied)
    internalSubset.append(u' ').append(xercesc::XMLAttDef::getDefAttTypeString(defaultType));
  // A default or fixed value is written even when empty: the declaration needs one.
  const XMLCh* value = attDef.getValue();
  if (hasText(value) || (value && (defaultType == xercesc::XMLAttDef::Default || defaultType == xercesc::XMLAttDef::Fixed))) {
    internalSubset.append(u' ');
    appendLiteral(value, LiteralKind::AttributeValue);
  }
}

void XMLHandler::endAttList(const xercesc::DTDElementDecl& elemDecl) { internalSubset.append(u'>'); }

namespace {
// Whether the '&' at value[at] starts a general entity reference ("&name;"),
// which an entity's value keeps unexpanded.
bool startsEntityReference(std::u16string_view value, std::size_t at) {
  std::size_t end = at + 1;
  if (end >= value.size() || !xercesc::XMLChar1_0::isFirstNameChar(value[end])) return false;
  while (end < value.size() && xercesc::XMLChar1_0::isNameChar(value[end])) ++end;
  return end < value.size() && value[end] == u';';
}
}  // namespace

void XMLHandler::appendLiteral(const XMLCh* value, const LiteralKind kind) {
  // The value as read back from the literal: the scanner has expanded the
  // character references (and, in an attribute's value, the entity
  // references), so the characters that would end or break the literal go
  // out as references; a public or system id takes none, and holds no quote
  // of each kind. The quote is the one the value does not hold.
  const std::u16string_view text(value);
  const bool holdsDouble = text.find(u'"') != std::u16string_view::npos;
  const char16_t quote = holdsDouble && text.find(u'\'') == std::u16string_view::npos ? u'\'' : u'"';
  internalSubset.append(quote);
  if (kind == LiteralKind::Identifier) {
    internalSubset.append(value).append(quote);
    return;
  }
  const bool isEntityValue = kind == LiteralKind::EntityValue;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == quote) {
      internalSubset.append(u"&#34;");
    } else if (c == u'&' && !(isEntityValue && startsEntityReference(text, i))) {
      internalSubset.append(u"&#38;");
    } else if (c == u'%' && isEntityValue) {
      internalSubset.append(u"&#37;");
    } else if (c == u'<' && !isEntityValue) {
      internalSubset.append(u"&#60;");
    } else {
      internalSubset.append(c);
    }
  }
  internalSubset.append(quote);
}

void XMLHandler::appendExternalIds(const XMLCh* publicId, const XMLCh* systemId) {
  if (publicId) {
    internalSubset.append(u' ').append(xercesc::XMLUni::fgPubIDString).append(u' ');
    appendLiteral(publicId, LiteralKind::Identifier);
  }
  if (systemId) {
    if (!publicId) internalSubset.append(u' ').append(xercesc::XMLUni::fgSysIDString);
    internalSubset.append(u' ');
    appendLiteral(systemId, LiteralKind::Identifier);
  }
}

void XMLHandler::entityDecl(const xercesc::DTDEntityDecl& entityDecl, const bool isPEDecl, const bool isIgnored) {
  internalSubset.append(entityDeclStart);
  if (isPEDecl) internalSubset.append(u" %");
  internalSubset.append(u' ').append(entityDecl.getName());
  appendExternalIds(entityDecl.getPublicId(), entityDecl.getSystemId());
  if (hasText(entityDecl.getNotationName()))
    internalSubset.append(u' ').append(xercesc::XMLUni::fgNDATAString).append(u' ').append(entityDecl.getNotationName());
  if (entityDecl.getValue()) {
    internalSubset.append(u' ');
    appendLiteral(entityDecl.getValue(), LiteralKind::EntityValue);
  }
  internalSubset.append(u'>');
}

void XMLHandler::notationDecl(const xercesc::XMLNotationDecl& notDecl, const bool isIgnored) {
  internalSubset.append(notationDeclStart).append(u' ').append(notDecl.getName());
  appendExternalIds(notDecl.getPublicId(), notDecl.getSystemId());
  internalSubset.append(u'>');
}

void XMLHandler::startExtSubset() {}
void XMLHandler::endExtSubset() {}
void XMLHandler::resetDocType() {}
void XMLHandler::TextDecl(const XMLCh* const versionStr, const XMLCh* const encodingStr) {}

// ---------------------------------------------------------------------------
// Errors and entities

void XMLHandler::error(const unsigned int errCode, const XMLCh* const errDomain, const ErrTypes type,
                       const XMLCh* const errorText, const XMLCh* const systemId, const XMLCh* const publicId,
                       const XMLFileLoc lineNum, const XMLFileLoc colNum) {
  static constexpr const char* kFunction = "XMLHandler::error";
  ZelParserException e(__FILE__, __LINE__, kFunction, getLogSourceName(), ZelMessages::CP_XML_XERCES_PARSER_EXCEPTION);
  e.addInsert("XMLHandler::error reported from the Xerces parser")
      .addInsert(errCode)
      .addInsert(publicId)
      .addInsert(static_cast<long long>(lineNum))
      .addInsert(static_cast<long long>(colNum))
      .addInsert(errorText)
      .addInsert(traceGetMsg())
      .addInsert(traceGetCurXMLElement());
  e.setSummary(ZelWstring(errorText).toUtf8());
  raise(e);
}

void XMLHandler::resetErrors() {}
void XMLHandler::endInputSource(const xercesc::InputSource& inputSource) {}
bool XMLHandler::expandSystemId(const XMLCh* const systemId, xercesc::XMLBuffer& toFill) { return true; }
void XMLHandler::resetEntities() {}
void XMLHandler::startInputSource(const xercesc::InputSource& inputSource) {}

xercesc::InputSource* XMLHandler::resolveEntity(xercesc::XMLResourceIdentifier* resourceIdentifier) {
  static constexpr XMLByte kNoBytes[1] = {0};
  return new (memoryManager) xercesc::MemBufInputSource(kNoBytes, 0, u"", false, memoryManager);
}
