#ifndef WFXML_SRC_INDEXEDSCHEMAGRAMMAR_H
#define WFXML_SRC_INDEXEDSCHEMAGRAMMAR_H

// A schema grammar whose element declarations are found through an index.
// Xerces-C keeps a grammar's element declarations in hash tables of 109
// buckets, hashed by name alone, whatever their number: in a grammar of
// thousands (FpML's has 4,000, one per name and type that declares it) each
// lookup of the validator walks a chain of dozens, and the walk took 40 % of
// the time of a document. The index remembers, for each name, namespace and
// scope a document can ask for (the declarations' own, and each complex
// type's elements in its scope and at the top level), what the grammar's
// tables answer; anything else is asked of the tables as before. Answers are
// thus the same by construction, as long as the grammar no longer changes
// once indexed (it is locked in its pool then).
//
// Xerces-C's loader creates its grammars itself, but fills one that a pool
// already holds for the namespace (as it does when several schema roots
// share one): an instance cached under a namespace before the load is filled
// like a grammar of its own.

#include <xercesc/validators/schema/SchemaGrammar.hpp>

#include <cstddef>
#include <string_view>
#include <unordered_map>

namespace wfxml::detail {

class IndexedSchemaGrammar : public xercesc::SchemaGrammar {
public:
  IndexedSchemaGrammar(const XMLCh* targetNamespace, xercesc::MemoryManager* manager);

  // Builds the index; the grammar must be complete and change no more.
  void index();

  using xercesc::SchemaGrammar::getElemDecl;
  const xercesc::XMLElementDecl* getElemDecl(unsigned int uriId, const XMLCh* baseName, const XMLCh* qName,
                                            unsigned int scope) const override;
  xercesc::XMLElementDecl* getElemDecl(unsigned int uriId, const XMLCh* baseName, const XMLCh* qName,
                                      unsigned int scope) override;

private:
  struct Key {
    std::u16string_view name;  // the grammar's own copy of the name
    unsigned int uriId;
    unsigned int scope;
    bool operator==(const Key& other) const {
      return uriId == other.uriId && scope == other.scope && name == other.name;
    }
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const {
      return std::hash<std::u16string_view>()(key.name) ^ (std::size_t{key.uriId} << 32 | key.scope);
    }
  };

  void remember(const XMLCh* name, unsigned int uriId, unsigned int scope);
  xercesc::XMLElementDecl* find(unsigned int uriId, const XMLCh* baseName, const XMLCh* qName, unsigned int scope);

  std::unordered_map<Key, xercesc::SchemaElementDecl*, KeyHash> declarations_;  // null: none there
};

}  // namespace wfxml::detail

#endif
