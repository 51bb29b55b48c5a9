#ifndef ANYURIVALIDATOR_H
#define ANYURIVALIDATOR_H

#include "zelapi.h"

#include <xercesc/validators/datatype/AnyURIDatatypeValidator.hpp>

#include <string_view>

// Whether a URI's authority, where it has one ("//" after the scheme, or at
// the start of a relative reference), is [userinfo "@"] host [":" port] with
// the port in digits, one at least, as RFC 3986 (which XML Schema 1.1 and
// libxml2 follow) has it. RFC 2396, which Xerces-C follows, also lets the
// authority be a registry name with ':' and '@' in it, so that
// "http://http://host/x" and "http://a:/x" are URIs there. Characters a URI
// must escape (spaces, non-ASCII) count as escaped, as Xerces-C escapes them
// before it parses a value.
ZEL_API bool hasWellFormedUriAuthority(std::u16string_view uri);

// xs:anyURI refusing what Xerces-C refuses and, besides, a value whose
// authority is not well formed (above), with Xerces-C's own error. Every
// type derived from it (by a schema, or by newInstance) is of this class too.
class ZEL_API AuthorityCheckingUriValidator : public xercesc::AnyURIDatatypeValidator {
public:
  explicit AuthorityCheckingUriValidator(xercesc::MemoryManager* manager);
  AuthorityCheckingUriValidator(xercesc::DatatypeValidator* base, xercesc::RefHashTableOf<xercesc::KVStringPair>* facets,
                                xercesc::RefArrayVectorOf<XMLCh>* enumerations, int finalSet,
                                xercesc::MemoryManager* manager);

  xercesc::DatatypeValidator* newInstance(xercesc::RefHashTableOf<xercesc::KVStringPair>* facets,
                                          xercesc::RefArrayVectorOf<XMLCh>* enumerations, int finalSet,
                                          xercesc::MemoryManager* manager) override;

  // Makes the built-in xs:anyURI of Xerces-C's table of built-in types one
  // of this class, so that every grammar built afterwards checks authorities:
  // once per start of the library, before any grammar is built; later calls
  // only look. Thread-safe. The type it replaces stays (the loader of schema
  // documents keeps it for their own attributes).
  static void replaceBuiltIn();

protected:
  void checkValueSpace(const XMLCh* content, xercesc::MemoryManager* manager) override;
};

#endif
