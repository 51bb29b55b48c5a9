#include "anyurivalidator.h"

#include <xercesc/util/XMLExceptMsgs.hpp>
#include <xercesc/validators/datatype/DatatypeValidatorFactory.hpp>
#include <xercesc/validators/datatype/InvalidDatatypeValueException.hpp>
#include <xercesc/validators/schema/SchemaSymbols.hpp>

#include <string_view>

using namespace xercesc;

namespace {

bool isAsciiLetter(char16_t c) { return (c | 0x20) >= u'a' && (c | 0x20) <= u'z'; }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isHexDigit(char16_t c) { return isDigit(c) || ((c | 0x20) >= u'a' && (c | 0x20) <= u'f'); }

bool isSchemeCharacter(char16_t c) { return isAsciiLetter(c) || isDigit(c) || c == u'+' || c == u'-' || c == u'.'; }

// Unreserved, a sub-delimiter, or a character a URI must escape.
bool isNameCharacter(char16_t c) {
  if (isAsciiLetter(c) || isDigit(c) || c <= u' ' || c >= 0x7F) return true;
  return std::u16string_view(u"-._~!$&'()*+,;=<>\"{}|\\^`").find(c) != std::u16string_view::npos;
}

// The length of the registry name (or, with colons, user information) that
// text starts with: name characters and escapes ("%" and two hex digits).
std::size_t nameLength(std::u16string_view text, bool colons) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == u'%') {
      if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) break;
      i += 3;
    } else if (isNameCharacter(text[i]) || (colons && text[i] == u':')) {
      ++i;
    } else {
      break;
    }
  }
  return i;
}

// Where the authority starts: after "//" at the start or after the scheme;
// npos where the URI has none.
std::size_t authorityStart(std::u16string_view uri) {
  if (uri.substr(0, 2) == u"//") return 2;
  if (uri.empty() || !isAsciiLetter(uri[0])) return std::u16string_view::npos;
  std::size_t i = 1;
  while (i < uri.size() && isSchemeCharacter(uri[i])) ++i;
  return uri.substr(i, 3) == u"://" ? i + 3 : std::u16string_view::npos;
}

// Whether a URI's authority, where it has one ("//" after the scheme, or at
// the start of a relative reference), is [userinfo "@"] host [":" port] with
// the port in digits, one at least, as RFC 3986 (which XML Schema 1.1 and
// libxml2 follow) has it. RFC 2396, which Xerces-C follows, also lets the
// authority be a registry name with ':' and '@' in it, so that
// "http://http://host/x" and "http://a:/x" are URIs there. Characters a URI
// must escape (spaces, non-ASCII) count as escaped, as Xerces-C escapes them
// before it parses a value.
bool hasWellFormedUriAuthority(std::u16string_view uri) {
  const std::size_t start = authorityStart(uri);
  if (start == std::u16string_view::npos) return true;
  std::u16string_view authority = uri.substr(start, uri.find_first_of(u"/?#", start) - start);
  if (const std::size_t at = authority.find(u'@'); at != std::u16string_view::npos) {
    if (nameLength(authority, true) != at) return false;
    authority.remove_prefix(at + 1);
  }
  std::size_t hostLength = 0;
  if (!authority.empty() && authority[0] == u'[') {  // an IP literal, whose inside Xerces-C checks
    hostLength = authority.find(u']');
    if (hostLength == std::u16string_view::npos) return false;
    ++hostLength;
  } else {
    hostLength = nameLength(authority, false);
  }
  const std::u16string_view port = authority.substr(hostLength);
  if (port.empty()) return true;
  if (port.size() < 2 || port[0] != u':') return false;
  for (const char16_t c : port.substr(1))
    if (!isDigit(c)) return false;
  return true;
}

}  // namespace

AuthorityCheckingUriValidator::AuthorityCheckingUriValidator(MemoryManager* manager)
    : AnyURIDatatypeValidator(manager) {}

AuthorityCheckingUriValidator::AuthorityCheckingUriValidator(DatatypeValidator* base,
                                                             RefHashTableOf<KVStringPair>* facets,
                                                             RefArrayVectorOf<XMLCh>* enumerations, int finalSet,
                                                             MemoryManager* manager)
    : AnyURIDatatypeValidator(base, facets, enumerations, finalSet, manager) {}

DatatypeValidator* AuthorityCheckingUriValidator::newInstance(RefHashTableOf<KVStringPair>* facets,
                                                              RefArrayVectorOf<XMLCh>* enumerations, int finalSet,
                                                              MemoryManager* manager) {
  return new (manager) AuthorityCheckingUriValidator(this, facets, enumerations, finalSet, manager);
}

void AuthorityCheckingUriValidator::checkValueSpace(const XMLCh* content, MemoryManager* manager) {
  AnyURIDatatypeValidator::checkValueSpace(content, manager);
  if (!hasWellFormedUriAuthority(content))
    ThrowXMLwithMemMgr1(InvalidDatatypeValueException, XMLExcepts::VALUE_URI_Malformed, content, manager);
}

void AuthorityCheckingUriValidator::replaceBuiltIn() {
  DVHashTable* builtIn = DatatypeValidatorFactory::getBuiltInRegistry();
  if (!builtIn || dynamic_cast<AuthorityCheckingUriValidator*>(builtIn->get(SchemaSymbols::fgDT_ANYURI))) return;
  // Not freed: the loader of schema documents holds it.
  const DatatypeValidator* replaced = builtIn->orphanKey(SchemaSymbols::fgDT_ANYURI);
  auto* checking = new AuthorityCheckingUriValidator(XMLPlatformUtils::fgMemoryManager);
  checking->setTypeName(replaced->getTypeLocalName(), replaced->getTypeUri());
  builtIn->put(const_cast<XMLCh*>(SchemaSymbols::fgDT_ANYURI), checking);
}
