#ifndef WFXML_SRC_REMEMBERINGURI_H
#define WFXML_SRC_REMEMBERINGURI_H

// xs:anyURI checks that remember the values found to be URIs. Xerces-C
// parses every xs:anyURI value as a URI (some 4,600 instructions each), and
// FpML puts one on nearly every code (currencyScheme="http://www.fpml.org/
// coding-scheme/..."), from a few hundred distinct values: these checks were
// 9 % of the instructions of its validation.
//
// Each attribute type derived from xs:anyURI (the built-in one included) is
// replaced, in the attributes that take it, by a restriction of it without
// facets of its own, as a schema may write one: its values, facets and
// patterns are the type's, key and reference values compare with the
// type's as before. It only skips the URI parse of a value already found to
// be one. Element types are left alone: xsi:type derivation checks compare
// them by identity.

#include <xercesc/validators/datatype/AnyURIDatatypeValidator.hpp>
#include <xercesc/validators/schema/SchemaGrammar.hpp>

#include <cstddef>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_set>

namespace wfxml::detail {

class RememberedUris {
public:
  RememberedUris();
  ~RememberedUris();
  RememberedUris(const RememberedUris&) = delete;
  RememberedUris& operator=(const RememberedUris&) = delete;

  // Has the attributes of grammar take the remembering restrictions of
  // their xs:anyURI types. Before the grammar is shared between threads;
  // this object must outlive it.
  void takeOverAttributes(xercesc::SchemaGrammar& grammar);

  bool known(std::u16string_view value) const;
  void add(std::u16string_view value);

  // Values remembered at most (the first ones found).
  static constexpr std::size_t kMaxRemembered = 4096;

private:
  class Validator;
  void takeOver(xercesc::XMLAttDef& attribute);

  // Compares the bytes at once: the standard comparison of char16_t text
  // goes a character at a time (about 220 instructions for a found URI).
  struct SameText {
    bool operator()(std::u16string_view a, std::u16string_view b) const {
      return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
    }
  };

  mutable std::shared_mutex lock_;  // threads validate against one grammar
  std::deque<std::u16string> values_;
  std::unordered_set<std::u16string_view, std::hash<std::u16string_view>, SameText> known_;  // views of values_
  std::map<const xercesc::DatatypeValidator*, std::unique_ptr<Validator>> validators_;  // by the type they restrict
};

}  // namespace wfxml::detail

#endif
