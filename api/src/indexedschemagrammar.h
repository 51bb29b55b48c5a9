#ifndef WFXML_SRC_INDEXEDSCHEMAGRAMMAR_H
#define WFXML_SRC_INDEXEDSCHEMAGRAMMAR_H

// A schema grammar whose element declarations are found through an index.
// Xerces-C keeps a grammar's element declarations in hash tables of 109
// buckets, hashed by name alone, whatever their number: in a grammar of
// thousands (FpML's has 4,000, one per name and type that declares it) each
// lookup of the validator walks a chain of dozens, and the walk took 40 % of
// the time of a document. The index remembers, for each name, namespace and
// scope a document can ask for (the declarations' own, each complex type's
// elements in its scope and at the top level, and the members of their
// substitution groups in its scope), what the grammar's
// tables answer; anything else is asked of the tables as before. Answers are
// thus the same by construction, as long as the grammar no longer changes
// once indexed (it is locked in its pool then).
//
// Answers differ for the global elements a type references (or that stand
// for one it references, in its substitution group), and save the
// scanner most of its work there (UBL's aggregate and basic components,
// referenced from each other's types): asked in the type's scope, the
// grammar's tables have none, and the scanner then looks the grammar's
// namespace up in the pool's URI table before it asks again. For an element
// of this namespace it asks the top level next; the index answers with that
// declaration at once. For one of another namespace it switches to that
// namespace's grammar by its text and asks it twice; the index answers with
// what that grammar gives, where the element's type is complex and named
// with its namespace (not xs:anyType): the scanner switches to the type's
// grammar next in any case, so it ends in the same grammar with the same
// declaration.
//
// Xerces-C's loader creates its grammars itself, but fills one that a pool
// already holds for the namespace (as it does when several schema roots
// share one): an instance cached under a namespace before the load is filled
// like a grammar of its own.

#include <xercesc/validators/schema/SchemaGrammar.hpp>

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace wfxml::detail {

class IndexedSchemaGrammar : public xercesc::SchemaGrammar {
public:
  IndexedSchemaGrammar(const XMLCh* targetNamespace, xercesc::MemoryManager* manager);

  // The grammar of another namespace, by the namespace's id; null for
  // none, for the empty namespace and for this grammar's own.
  using OtherGrammar = std::function<xercesc::SchemaGrammar*(unsigned int uriId)>;

  // Builds the index; the grammar must be complete and change no more, and
  // so must otherGrammar's.
  void index(const OtherGrammar& otherGrammar);

  // From now on the grammar's key (its namespace, by which a grammar
  // resolver finds it) is the copy of its namespace in uris, the pool's URI
  // strings, which must outlive it. The validator looks grammars up by that
  // copy where it checks substitution groups (FpML: 51,000 lookups a pass),
  // and a resolver's table then compares the key by its address, not
  // character by character.
  void keyByPooledNamespace(xercesc::XMLStringPool& uris);

  using xercesc::SchemaGrammar::getElemDecl;
  const xercesc::XMLElementDecl* getElemDecl(unsigned int uriId, const XMLCh* baseName, const XMLCh* qName,
                                            unsigned int scope) const override;
  xercesc::XMLElementDecl* getElemDecl(unsigned int uriId, const XMLCh* baseName, const XMLCh* qName,
                                      unsigned int scope) override;

private:
  // One answer, in an open-addressed table of a power-of-two size: a lookup
  // hashes the asked name once, in the pass that finds its length, and
  // compares the whole name only where hash, namespace and scope agree.
  struct Slot {
    const XMLCh* name = nullptr;  // the grammar's own copy; null: a free slot
    std::size_t length = 0;
    std::size_t hash = 0;
    unsigned int uriId = 0;
    unsigned int scope = 0;
    xercesc::SchemaElementDecl* declaration = nullptr;  // null: none there
  };

  // The name's hash (with namespace and scope) and length.
  static std::pair<std::size_t, std::size_t> hashOf(const XMLCh* name, unsigned int uriId, unsigned int scope);
  Slot* slotFor(const XMLCh* name, unsigned int uriId, unsigned int scope);  // its slot, or the free one it would take
  void remember(const XMLCh* name, unsigned int uriId, unsigned int scope,
                xercesc::SchemaElementDecl* declaration = nullptr);
  xercesc::SchemaElementDecl* foundByScanner(const xercesc::SchemaElementDecl& element, unsigned int scope,
                                             const OtherGrammar& otherGrammar);
  const xercesc::ElemVector* substitutes(const xercesc::SchemaElementDecl& head, const OtherGrammar& otherGrammar);
  xercesc::XMLElementDecl* find(unsigned int uriId, const XMLCh* baseName, const XMLCh* qName, unsigned int scope);

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

}  // namespace wfxml::detail

#endif
