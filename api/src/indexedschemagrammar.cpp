#include "indexedschemagrammar.h"

#include <xercesc/framework/XMLSchemaDescription.hpp>
#include <xercesc/validators/schema/ComplexTypeInfo.hpp>
#include <xercesc/validators/schema/SchemaAttDef.hpp>
#include <xercesc/validators/schema/XercesAttGroupInfo.hpp>
#include <xercesc/validators/schema/XercesGroupInfo.hpp>

#include <set>
#include <vector>

using namespace xercesc;

namespace wfxml::detail {

// What the loader sets up itself in a grammar it creates, and expects in one
// it extends (the table sizes are its own).
IndexedSchemaGrammar::IndexedSchemaGrammar(const XMLCh* targetNamespace, MemoryManager* manager)
    : SchemaGrammar(manager) {
  setComplexTypeRegistry(new (manager) RefHashTableOf<ComplexTypeInfo>(29, manager));
  setGroupInfoRegistry(new (manager) RefHashTableOf<XercesGroupInfo>(13, manager));
  setAttGroupInfoRegistry(new (manager) RefHashTableOf<XercesAttGroupInfo>(13, manager));
  setAttributeDeclRegistry(new (manager) RefHashTableOf<XMLAttDef>(29, manager));
  setValidSubstitutionGroups(new (manager) RefHash2KeysTableOf<ElemVector>(29, manager));
  setTargetNamespace(targetNamespace);
  static_cast<XMLSchemaDescription*>(getGrammarDescription())->setTargetNamespace(getTargetNamespace());
}

void IndexedSchemaGrammar::index() {
  RefHash3KeysIdPoolEnumerator<SchemaElementDecl> keys = getElemEnumerator();
  while (keys.hasMoreKeys()) {
    void* name = nullptr;
    int uriId = 0, scope = 0;
    keys.nextElementKey(name, uriId, scope);
    remember(static_cast<const XMLCh*>(name), static_cast<unsigned int>(uriId), static_cast<unsigned int>(scope));
  }
  // A complex type's elements: local ones (some held apart, in the tables
  // of model groups) and references to global ones, which the validator
  // first looks for in the type's scope.
  std::vector<ComplexTypeInfo*> types;
  std::set<const ComplexTypeInfo*> seen;
  const auto add = [&](ComplexTypeInfo* type) {
    if (type && seen.insert(type).second) types.push_back(type);
  };
  if (RefHashTableOf<ComplexTypeInfo>* registry = getComplexTypeRegistry()) {
    RefHashTableOfEnumerator<ComplexTypeInfo> each(registry, false);
    while (each.hasMoreElements()) add(&each.nextElement());
  }
  RefHash3KeysIdPoolEnumerator<SchemaElementDecl> elements = getElemEnumerator();
  while (elements.hasMoreElements()) add(elements.nextElement().getComplexTypeInfo());
  for (std::size_t i = 0; i < types.size(); ++i) {
    ComplexTypeInfo* type = types[i];
    for (XMLSize_t j = 0; j < type->elementCount(); ++j) {
      SchemaElementDecl* element = type->elementAt(j);
      remember(element->getBaseName(), element->getURI(), type->getScopeDefined());
      remember(element->getBaseName(), element->getURI(), Grammar::TOP_LEVEL_SCOPE);
      add(element->getComplexTypeInfo());
    }
  }
}

void IndexedSchemaGrammar::remember(const XMLCh* name, unsigned int uriId, unsigned int scope) {
  const Key key{name, uriId, scope};
  if (declarations_.count(key) == 0) {
    declarations_.emplace(key, static_cast<SchemaElementDecl*>(SchemaGrammar::getElemDecl(uriId, name, nullptr, scope)));
  }
}

XMLElementDecl* IndexedSchemaGrammar::find(unsigned int uriId, const XMLCh* baseName, const XMLCh* qName,
                                           unsigned int scope) {
  const auto found = declarations_.find(Key{baseName, uriId, scope});
  return found != declarations_.end() ? found->second : SchemaGrammar::getElemDecl(uriId, baseName, qName, scope);
}

const XMLElementDecl* IndexedSchemaGrammar::getElemDecl(unsigned int uriId, const XMLCh* baseName, const XMLCh* qName,
                                                        unsigned int scope) const {
  return const_cast<IndexedSchemaGrammar*>(this)->find(uriId, baseName, qName, scope);
}

XMLElementDecl* IndexedSchemaGrammar::getElemDecl(unsigned int uriId, const XMLCh* baseName, const XMLCh* qName,
                                                  unsigned int scope) {
  return find(uriId, baseName, qName, scope);
}

}  // namespace wfxml::detail
