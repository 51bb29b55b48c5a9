#ifndef WFXML_SRC_DEFINITIONS_H
#define WFXML_SRC_DEFINITIONS_H

// What the API tells about a defined element: its XML name, namespace and
// whether it is an attribute, read once per dictionary row when a message
// set is loaded, so that naming an element or an event costs a lookup.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class StdDictionaryInfo;
class TreeElement;

namespace wfxml::detail {

struct Definition {
  std::string name;          // UTF-8, as documents spell it; empty for nameless members
  std::string namespaceUri;  // UTF-8; empty for none
  bool isAttribute = false;
};

class Definitions {
public:
  // dictionary: null for a message set without one (nothing is defined).
  explicit Definitions(const StdDictionaryInfo* dictionary);

  // The definition an element (or a start event) with these ids was matched
  // to, the way a writer finds it; null for a self-defining element or an
  // anonymous value. Row hints of -1 are looked up by id.
  const Definition* find(long tagId, long memberId, unsigned short kind, long tagIndex, long memberIndex) const;
  const Definition* find(const TreeElement& element) const;

  // The XML names of the message set's messages, in dictionary order.
  const std::vector<std::string>& messageNames() const { return messageNames_; }
  // The same with their namespaces: "{urn:x}Name", or "Name" without one.
  const std::vector<std::string>& qualifiedMessageNames() const { return qualifiedMessageNames_; }

private:
  struct Tag {
    Definition asElement;  // a global element (an attribute when declared as one)
    Definition asMessage;  // the same element as a message (its own render)
  };

  const StdDictionaryInfo* dictionary_;
  std::vector<Tag> tags_;
  std::vector<Definition> members_;
  std::vector<std::string> messageNames_;
  std::vector<std::string> qualifiedMessageNames_;
};

// Whether a self-defining element is an attribute, by its name as the tree
// keeps it ("@id" for an attribute field) and its namespace (xsi:nil and
// its kin are attributes), as the writer decides.
bool isSelfDefiningAttribute(std::u16string_view name, std::u16string_view namespaceUri);

}  // namespace wfxml::detail

#endif
