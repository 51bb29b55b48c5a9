#include "indexedschemagrammar.h"

#include <xercesc/framework/XMLSchemaDescription.hpp>
#include <xercesc/util/StringPool.hpp>
#include <xercesc/validators/schema/ComplexTypeInfo.hpp>
#include <xercesc/validators/schema/SchemaAttDef.hpp>
#include <xercesc/validators/schema/SchemaSymbols.hpp>
#include <xercesc/validators/schema/XercesAttGroupInfo.hpp>
#include <xercesc/validators/schema/XMLSchemaDescriptionImpl.hpp>
#include <xercesc/validators/schema/XercesGroupInfo.hpp>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

using namespace xercesc;

namespace wfxml::detail {
namespace {

// A grammar's description whose key, once the grammar is indexed, is the
// URI pool's copy of its namespace.
class PooledKeyDescription : public XMLSchemaDescriptionImpl {
public:
  using XMLSchemaDescriptionImpl::XMLSchemaDescriptionImpl;
  const XMLCh* getGrammarKey() const override { return key_ ? key_ : XMLSchemaDescriptionImpl::getGrammarKey(); }
  void keyBy(const XMLCh* pooled) { key_ = pooled; }

private:
  const XMLCh* key_ = nullptr;
};

}  // namespace

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
  setGrammarDescription(new (manager) PooledKeyDescription(getTargetNamespace(), manager));  // adopted
}

void IndexedSchemaGrammar::keyByPooledNamespace(XMLStringPool& uris) {
  static_cast<PooledKeyDescription*>(getGrammarDescription())
      ->keyBy(uris.getValueForId(uris.addOrFind(getTargetNamespace())));
}

void IndexedSchemaGrammar::index(const OtherGrammar& otherGrammar) {
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
      const bool ownType = XMLString::equals(type->getTypeUri(), getTargetNamespace());
      remember(element->getBaseName(), element->getURI(), type->getScopeDefined(),
               ownType ? foundByScanner(*element, type->getScopeDefined(), otherGrammar) : nullptr);
      remember(element->getBaseName(), element->getURI(), Grammar::TOP_LEVEL_SCOPE);
      add(element->getComplexTypeInfo());
      // The members of its substitution group, asked in the type's scope
      // first as any element is.
      const ElemVector* members = substitutes(*element, otherGrammar);
      for (XMLSize_t k = 0; members && k < members->size(); ++k) {
        SchemaElementDecl* member = members->elementAt(k);
        remember(member->getBaseName(), member->getURI(), type->getScopeDefined(),
                 ownType ? foundByScanner(*member, type->getScopeDefined(), otherGrammar) : nullptr);
      }
    }
  }
}

// The elements that may stand for head: its substitution group as this
// grammar knows it, else as the grammar of its namespace does.
const ElemVector* IndexedSchemaGrammar::substitutes(const SchemaElementDecl& head, const OtherGrammar& otherGrammar) {
  for (SchemaGrammar* grammar : {static_cast<SchemaGrammar*>(this), otherGrammar(head.getURI())}) {
    RefHash2KeysTableOf<ElemVector>* groups = grammar ? grammar->getValidSubstitutionGroups() : nullptr;
    if (const ElemVector* members = groups ? groups->get(head.getBaseName(), head.getURI()) : nullptr) return members;
  }
  return nullptr;
}

std::pair<std::size_t, std::size_t> IndexedSchemaGrammar::hashOf(const XMLCh* name, unsigned int uriId,
                                                                  unsigned int scope) {
  std::size_t hash = (std::size_t{uriId} << 32 | scope) * 0x9E3779B97F4A7C15u;
  std::size_t length = 0;
  for (; name[length] != 0; ++length) hash = (hash ^ name[length]) * 0x100000001B3u;
  return {hash ^ hash >> 29, length};
}

IndexedSchemaGrammar::Slot* IndexedSchemaGrammar::slotFor(const XMLCh* name, unsigned int uriId, unsigned int scope) {
  const auto [hash, length] = hashOf(name, uriId, scope);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& slot = slots_[i];
    if (slot.name == nullptr) return &slot;
    if (slot.hash == hash && slot.uriId == uriId && slot.scope == scope && slot.length == length &&
        std::memcmp(slot.name, name, length * sizeof(XMLCh)) == 0) {
      return &slot;
    }
  }
}

// What the scanner ends with for element, referenced by a type of this
// grammar, asked for in the type's scope where this grammar's tables have
// none. Of this namespace: the top-level declaration, which the scanner
// asks for next without switching grammars. Of another namespace: that
// namespace's grammar's answer in the same scope, else at the top level;
// null where the type's switch would not follow.
SchemaElementDecl* IndexedSchemaGrammar::foundByScanner(const SchemaElementDecl& element, unsigned int scope,
                                                        const OtherGrammar& otherGrammar) {
  if (SchemaElementDecl* global = static_cast<SchemaElementDecl*>(SchemaGrammar::getElemDecl(
          element.getURI(), element.getBaseName(), nullptr, Grammar::TOP_LEVEL_SCOPE))) {
    return global;  // only declarations of this namespace are at its top level
  }
  SchemaGrammar* other = otherGrammar(element.getURI());
  if (other == nullptr) return nullptr;
  auto* found = static_cast<SchemaElementDecl*>(
      other->SchemaGrammar::getElemDecl(element.getURI(), element.getBaseName(), nullptr, scope));
  if (found == nullptr && scope != Grammar::TOP_LEVEL_SCOPE) {
    found = static_cast<SchemaElementDecl*>(other->SchemaGrammar::getElemDecl(
        element.getURI(), element.getBaseName(), nullptr, Grammar::TOP_LEVEL_SCOPE));
  }
  const ComplexTypeInfo* type = found ? found->getComplexTypeInfo() : nullptr;
  const bool switches = type && type->getTypeName() && XMLString::indexOf(type->getTypeName(), chComma) >= 0 &&
                        !XMLString::equals(type->getTypeUri(), SchemaSymbols::fgURI_SCHEMAFORSCHEMA);
  return switches ? found : nullptr;
}

void IndexedSchemaGrammar::remember(const XMLCh* name, unsigned int uriId, unsigned int scope,
                                    SchemaElementDecl* declaration) {
  if (2 * (used_ + 1) > slots_.size()) {  // at most half full, so that probes stay short
    std::vector<Slot> old(std::max<std::size_t>(64, 4 * slots_.size()));
    old.swap(slots_);
    for (const Slot& slot : old)
      if (slot.name) *slotFor(slot.name, slot.uriId, slot.scope) = slot;
  }
  Slot* slot = slotFor(name, uriId, scope);
  if (slot->name) return;
  const auto [hash, length] = hashOf(name, uriId, scope);
  auto* own = static_cast<SchemaElementDecl*>(SchemaGrammar::getElemDecl(uriId, name, nullptr, scope));
  *slot = Slot{name, length, hash, uriId, scope, own ? own : declaration};
  ++used_;
}

XMLElementDecl* IndexedSchemaGrammar::find(unsigned int uriId, const XMLCh* baseName, const XMLCh* qName,
                                           unsigned int scope) {
  const Slot* slot = slots_.empty() ? nullptr : slotFor(baseName, uriId, scope);
  return slot && slot->name ? slot->declaration : SchemaGrammar::getElemDecl(uriId, baseName, qName, scope);
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
