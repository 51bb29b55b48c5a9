#include "outputcheck.h"

#include "contentcheck.h"
#include "encoding.h"
#include "error.h"
#include "messagetree.h"
#include "schemavalidator.h"
#include "schemaview.h"
#include "state.h"
#include "stddictionaryinfo.h"
#include "typeddatawriter.h"
#include "zelexception.h"

#include <string>
#include <string_view>
#include <vector>

namespace wfxml::detail {
namespace {

// Written as an attribute, not as an element of the content.
bool isAttribute(const std::string& name, const TreeElement& element) {
  return (!name.empty() && name.front() == typedkeys::kAttributeMarker) ||
         element.getNamespaceURI().toUtf8() == typedkeys::kSchemaInstanceNamespace;
}

// The element the validator's path ("/p:Payment/p:Ref") and positions name;
// where the tree has no such element, the deepest one it has on the way.
const TreeElement* elementAt(const SchemaView& view, const MessageTree& tree, std::string_view path,
                             const std::vector<std::size_t>& positions) {
  const TreeElement* at = tree.getRoot();
  std::vector<std::string_view> steps;
  for (std::size_t start = 0; start < path.size();) {
    const std::size_t end = std::min(path.find('/', start + 1), path.size());
    steps.push_back(path.substr(start + 1, end - start - 1));
    start = end;
  }
  for (std::size_t i = 1; at && i < steps.size() && i < positions.size(); ++i) {
    const std::string_view qname = steps[i];
    const std::string_view local = qname.substr(qname.find(':') == std::string_view::npos ? 0 : qname.find(':') + 1);
    std::size_t seen = 0;
    const TreeElement* next = nullptr;
    for (const TreeElement* child = at->getFirstChild(); child && !next; child = child->getNextSibling()) {
      if (isAnonymous(*child)) continue;
      const std::string name = treeNameOf(view, *child);
      if (!isAttribute(name, *child) && name == local && ++seen == positions[i]) next = child;
    }
    if (!next) break;
    at = next;
  }
  return at;
}

std::size_t depthOf(const TreeElement& element) {
  std::size_t depth = 1;
  for (const TreeElement* at = element.getParent(); at; at = at->getParent()) ++depth;
  return depth;
}

// The element's attribute of the name the validator gives ("ns1:ccy"), else
// the element.
const TreeElement* attributeAt(const SchemaView& view, const TreeElement& element, std::string_view written) {
  const std::string_view local = written.substr(written.find(':') + 1);  // npos + 1: the whole name
  for (const TreeElement* child = element.getFirstChild(); child; child = child->getNextSibling()) {
    if (isAnonymous(*child)) continue;
    const std::string name = treeNameOf(view, *child);
    if (isAttribute(name, *child) && name.substr(name.find(':') == std::string::npos ? 1 : name.find(':') + 1) == local)
      return child;
  }
  return &element;
}

}  // namespace

void refuseInvalidDocument(const MessageSetState& set, const MessageTree& tree, const void* bytes, std::size_t size,
                           const CodePage& codePage, ProblemPath style) {
  const SchemaView* view = set.schema.get(set.dictionary);
  if (!view || set.dictionary->getSchemaDocuments().empty()) return;
  std::vector<ProblemPlace> places;
  const std::vector<ValidationError> problems =
      set.validator().validate(bytes, size, {scannerEncodingOf(codePage, bytes, size)}, &places);
  if (problems.empty()) return;
  const ProblemPlace& place = places.front();
  const TreeElement* element = elementAt(*view, tree, problems.front().path, place.positions);
  if (element && !place.attribute.empty() && depthOf(*element) == place.positions.size())
    element = attributeAt(*view, *element, place.attribute);
  if (style == ProblemPath::Json) {
    throwError(__FILE__, __LINE__, "Session::write", ZelMessages::CP_JSON_MISMATCH,
               {element ? typedDataPathOf(view, tree, *element) : "$", problems.front().message});
  }
  throwError(__FILE__, __LINE__, "Session::write", ZelMessages::CP_INVALID_CONTENT,
             {element ? treePathOf(*view, *element) : "/", problems.front().message});
}

}  // namespace wfxml::detail
