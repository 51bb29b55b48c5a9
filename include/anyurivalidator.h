#ifndef ANYURIVALIDATOR_H
#define ANYURIVALIDATOR_H

#include "zelapi.h"

#include <xercesc/validators/datatype/AnyURIDatatypeValidator.hpp>

// xs:anyURI refusing what Xerces-C refuses and, besides, a value whose
// authority is not RFC 3986's [userinfo "@"] host [":" port] with a port of
// digits, with Xerces-C's own error. Every type derived from it (by a
// schema, or by newInstance) is of this class too.
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
  // only look; startXmlLibraryForProcess calls it under its lock. The type
  // it replaces stays (the loader of schema documents keeps it for their own
  // attributes).
  static void replaceBuiltIn();

protected:
  void checkValueSpace(const XMLCh* content, xercesc::MemoryManager* manager) override;
};

#endif
