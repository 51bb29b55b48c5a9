#include "schemareferencechains.h"

#include "keptschemadocument.h"
#include "zelwstring.h"

#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/schema/SchemaSymbols.hpp>

#include <algorithm>
#include <deque>
#include <map>
#include <sstream>
#include <tuple>

using namespace xercesc;

namespace {

// Chosen from measurement with Xerces-C 3.2, compile and validation alike,
// while the real schemas measured stay far below (nesting: UBL 458, FpML
// 114, ISO 20022 56; extensions: FpML 7; attribute groups and substitution
// groups: 2). The loader runs on a stack of its own (runWithLargeStack), which
// a chain of 100,000 types each holding an element of the next fits: the
// nesting bound is high because a circle counts all its members, and a
// FHIR-like set of 150 resources that contain each other, which the loader
// reads a few levels deep, counts 3,166 (the same with 6,000 types, 19,816).
constexpr long kNestingBound = 30000;
constexpr long kDocumentBound = 1000;         // 1,000 imports took 0.4 s, 3,000 3.2 s
constexpr long kExtensionBound = 100;         // 300 took 1.6 s
constexpr long kAttributeGroupBound = 300;    // 1,000 took 3.7 s and 210 MB
constexpr long kSubstitutionBound = 300;      // 1,000 took 0.9 s, 3,000 minutes
// Xerces-C copies a referenced group's content into the group that
// references it, so groups each referencing the next cost the chain's
// length squared in memory, though they hold no more particles: 500 took
// 70 MB, 1,000 210 MB, 3,900 2.8 GB.
constexpr long kModelGroupBound = 500;
// A content model's particles, once expanded, cost the validator's grammar
// their number squared (4,096 optional elements of one name took 1.2 s, 8,192
// 6.6 s), and all of them together time and memory (100 types of 1,024 each
// took 6 s and 550 MB): one expanded past 2,000, and content models past
// 100,000 particles in all and 8 for each particle written, are refused.
// FpML's largest holds 45, UBL's 100; FpML's hold 8,503 in all for 3,891
// written; 500 types that extend one of a base of 150 elements, as business
// document standards are made, hold 91,850 for 5,350 (their grammar took 10 s).
constexpr long kExpansionBound = 2000;
constexpr long kExpansionTotalBase = 100000;
constexpr long kExpansionPerParticleWritten = 8;

// What a reference names; each kind of component has its own names.
enum class Space { Type, Element, Group, AttributeGroup, Attribute, Document };

enum LinkKind : unsigned {
  kOther = 1,  // the type of an element or attribute, a restricted base, a list's or union's types, an element or attribute ref
  kExtension = 2,
  kModelGroup = 4,
  kAttributeGroup = 8,
  kSubstitution = 16,
  kAnyLink = 31,     // what the loader follows within its traversal of a document's components
  kDocument = 32,    // a document included, imported or redefined
};

struct ChainRule {
  ReferenceChainKind kind;
  unsigned links;
  enum class Count { Links, Depth, Particles } count;  // of each component, summed along a chain
  long bound;
  const char* what;  // after the bound
};

const ChainRule kRules[] = {
    {ReferenceChainKind::Nesting, kAnyLink, ChainRule::Count::Depth, kNestingBound,
     " deep, counting those within each component and within each it names in turn (the type of an element, a "
     "base type, a model or attribute group, a referenced element, a substitution group's head)"},
    {ReferenceChainKind::Documents, kDocument, ChainRule::Count::Links, kDocumentBound,
     " schema documents, each including, importing or redefining the next"},
    {ReferenceChainKind::Extension, kExtension, ChainRule::Count::Links, kExtensionBound, " base types, each extending the next"},
    {ReferenceChainKind::AttributeGroup, kAttributeGroup, ChainRule::Count::Links, kAttributeGroupBound,
     " attribute groups, each referenced within the one before"},
    {ReferenceChainKind::Substitution, kSubstitution, ChainRule::Count::Links, kSubstitutionBound,
     " elements, each in the substitution group of the next"},
    {ReferenceChainKind::ModelGroup, kModelGroup, ChainRule::Count::Links, kModelGroupBound,
     " model groups, each referenced within the one before"},
    {ReferenceChainKind::Expansion, kModelGroup | kExtension, ChainRule::Count::Particles, kExpansionBound,
     " particles (elements and wildcards) once the model groups it references and the types it extends are "
     "expanded, each as often as it is referenced"},
    {ReferenceChainKind::ExpansionTotal, kModelGroup | kExtension, ChainRule::Count::Particles, kExpansionTotalBase,
     " particles in all (elements and wildcards: 100,000 and 8 for each written) once the model groups and the "
     "types they extend are expanded, each as often as it is referenced; this one holds the most"},
};

std::string utf8(const XMLCh* text) { return ZelWstring(text).toUtf8(); }

std::string placeOf(const Locator* locator) {
  return locator ? "line " + std::to_string(locator->getLineNumber()) + ", column " +
                       std::to_string(locator->getColumnNumber())
                 : std::string();
}

// A relative location as an absolute one, so that the documents of a
// dictionary (kept by relative names) refer to each other as when compiled.
std::string anchored(const std::string& location) {
  return isNetworkLocation(location) || location.compare(0, 1, "/") == 0 ? location : "/" + location;
}

// A QName an attribute holds, its prefix resolved where it stands.
struct Reference {
  Space space;
  LinkKind link;
  std::string uri;
  bool chameleon;  // no prefix and no default namespace: the document's namespace, if it has one by inclusion
  std::string name;
};

struct Component {
  std::size_t document;
  Space space;
  std::string name;
  std::string label;  // "complexType 'Name'"
  std::string place;
  long depth = 1;      // of the elements nested in it, itself included
  long particles = 0;  // the elements and wildcards within it
  std::vector<Reference> references;
};

struct DocumentFacts {
  std::optional<std::string> targetNamespace;
  std::vector<std::string> includes;    // anchored locations it includes, redefines or overrides
  std::vector<std::string> references;  // and those it imports
  std::string tooDeep;                  // where its elements first nest past the bound
};

std::optional<Space> componentSpace(const std::string& element) {
  if (element == "complexType" || element == "simpleType") return Space::Type;
  if (element == "element") return Space::Element;
  if (element == "group") return Space::Group;
  if (element == "attributeGroup") return Space::AttributeGroup;
  if (element == "attribute") return Space::Attribute;
  return std::nullopt;
}

// Reads one document's components and the references within each, and
// stops where its elements nest past the bound.
class ComponentReader : public DefaultHandler {
public:
  struct TooDeep {};

  ComponentReader(std::size_t document, const std::string& location, DocumentFacts& facts,
                  std::vector<Component>& components)
      : document_(document), location_(location), facts_(facts), components_(components) {}

  void setDocumentLocator(const Locator* locator) override { locator_ = locator; }
  void startPrefixMapping(const XMLCh* prefix, const XMLCh* uri) override { bindings_[utf8(prefix)].push_back(utf8(uri)); }
  void endPrefixMapping(const XMLCh* prefix) override {
    std::vector<std::string>& bound = bindings_[utf8(prefix)];
    if (!bound.empty()) bound.pop_back();
  }

  void startElement(const XMLCh* uri, const XMLCh* localName, const XMLCh*, const Attributes& attributes) override {
    if (++depth_ > kSchemaNestingBound) {
      facts_.tooDeep = placeOf(locator_);
      throw TooDeep{};
    }
    if (current_) components_[*current_].depth = std::max(components_[*current_].depth, depth_ - componentDepth_ + 1);
    if (!XMLString::equals(uri, SchemaSymbols::fgURI_SCHEMAFORSCHEMA)) return;
    const std::string element = utf8(localName);
    if (current_ && depth_ > componentDepth_ && (element == "element" || element == "any")) ++components_[*current_].particles;
    if (depth_ == 1) {
      if (const XMLCh* target = attributes.getValue(u"targetNamespace")) facts_.targetNamespace = utf8(target);
      components_.push_back({document_, Space::Document, anchored(location_), "schema", placeOf(locator_), 1, 0, {}});
      return;
    }
    const bool includes = element == "include" || element == "redefine" || element == "override";
    const XMLCh* location = attributes.getValue(u"schemaLocation");
    if (depth_ == 2 && (includes || element == "import") && location) {
      facts_.references.push_back(resolveSchemaLocation(anchored(location_), utf8(location)));
      if (includes) facts_.includes.push_back(facts_.references.back());
    }
    if (depth_ == 2 && includes && element != "include") redefineDepth_ = depth_;
    const XMLCh* name = attributes.getValue(u"name");
    const std::optional<Space> space = componentSpace(element);
    if (!current_ && space && name && (depth_ == 2 || (depth_ == 3 && redefineDepth_ == 2))) {
      current_ = components_.size();
      componentDepth_ = depth_;
      components_.push_back({document_, *space, utf8(name), element + " '" + utf8(name) + "'", placeOf(locator_), 1, 0, {}});
    }
    if (current_) noteReferences(element, attributes);
  }

  void endElement(const XMLCh*, const XMLCh*, const XMLCh*) override {
    if (current_ && depth_ == componentDepth_) current_.reset();
    if (depth_ == redefineDepth_) redefineDepth_ = 0;
    --depth_;
  }

private:
  void noteReferences(const std::string& element, const Attributes& attributes) {
    const auto note = [&](const char16_t* attribute, Space space, LinkKind link) {
      const XMLCh* value = attributes.getValue(attribute);
      if (!value) return;
      std::istringstream names(utf8(value));
      for (std::string qname; names >> qname;) components_[*current_].references.push_back(resolved(qname, space, link));
    };
    if (element == "element" || element == "attribute") note(u"type", Space::Type, kOther);
    if (element == "extension") note(u"base", Space::Type, kExtension);
    if (element == "restriction") note(u"base", Space::Type, kOther);
    if (element == "list") note(u"itemType", Space::Type, kOther);
    if (element == "union") note(u"memberTypes", Space::Type, kOther);
    if (element == "element") note(u"ref", Space::Element, kOther);
    if (element == "attribute") note(u"ref", Space::Attribute, kOther);
    if (element == "group") note(u"ref", Space::Group, kModelGroup);
    if (element == "attributeGroup") note(u"ref", Space::AttributeGroup, kAttributeGroup);
    if (element == "element") note(u"substitutionGroup", Space::Element, kSubstitution);
  }

  Reference resolved(const std::string& qname, Space space, LinkKind link) const {
    const std::size_t colon = qname.find(':');
    const std::string prefix = colon == std::string::npos ? "" : qname.substr(0, colon);
    const auto bound = bindings_.find(prefix);
    const bool known = bound != bindings_.end() && !bound->second.empty();
    return {space, link, known ? bound->second.back() : "", !known && prefix.empty(),
            colon == std::string::npos ? qname : qname.substr(colon + 1)};
  }

  const std::size_t document_;
  const std::string& location_;
  DocumentFacts& facts_;
  std::vector<Component>& components_;
  const Locator* locator_ = nullptr;
  std::map<std::string, std::vector<std::string>> bindings_;  // prefix -> namespaces, innermost last
  long depth_ = 0;
  long componentDepth_ = 0;
  long redefineDepth_ = 0;
  std::optional<std::size_t> current_;
};

void readComponents(const SchemaDocument& document, std::size_t index, DocumentFacts& facts,
                    std::vector<Component>& components) {
  ComponentReader reader(index, document.location, facts, components);
  SAX2XMLReaderImpl parser(XMLPlatformUtils::fgMemoryManager);
  try {
    readKeptSchemaDocument(document, parser, reader);
  } catch (const ComponentReader::TooDeep&) {
  }
}

// The components of all documents, each node one name (a redefined
// component and its original are one), with the links between them.
class ComponentGraph {
public:
  explicit ComponentGraph(const SchemaDocuments& documents) : facts_(documents.size()) {
    for (std::size_t i = 0; i < documents.size(); ++i) readComponents(documents[i], i, facts_[i], components_);
    const std::vector<std::string> namespaces = namespacesOf(documents);
    std::map<std::tuple<Space, std::string, std::string>, std::size_t> nodeByName;
    for (std::size_t i = 0; i < components_.size(); ++i) {
      const Component& component = components_[i];
      const std::string& uri = component.space == Space::Document ? std::string() : namespaces[component.document];
      const auto [found, added] = nodeByName.emplace(std::make_tuple(component.space, uri, component.name), nodes_.size());
      if (added) nodes_.push_back({i, 1, 0, {}});
      node_.push_back(found->second);
      nodes_[found->second].depth = std::max(nodes_[found->second].depth, component.depth);
      nodes_[found->second].particles = std::max(nodes_[found->second].particles, component.particles);
    }
    for (std::size_t i = 0; i < components_.size(); ++i) {
      const Component& component = components_[i];
      const bool hasNamespace = facts_[component.document].targetNamespace.has_value();
      for (const Reference& reference : component.references) {
        const std::string& uri = reference.chameleon && !hasNamespace ? namespaces[component.document] : reference.uri;
        const auto target = nodeByName.find(std::make_tuple(reference.space, uri, reference.name));
        if (target != nodeByName.end()) nodes_[node_[i]].links.push_back({target->second, reference.link});
      }
      if (component.space != Space::Document) continue;
      for (const std::string& location : facts_[component.document].references) {
        const auto target = nodeByName.find(std::make_tuple(Space::Document, std::string(), location));
        if (target != nodeByName.end()) nodes_[node_[i]].links.push_back({target->second, kDocument});
      }
    }
  }

  struct Edge {
    std::size_t to;
    unsigned kind;
  };
  struct Node {
    std::size_t component;  // the first of its name, in the documents' order
    long depth;
    long particles;
    std::vector<Edge> links;
  };
  const std::vector<Node>& nodes() const { return nodes_; }
  const Component& componentOf(const Node& node) const { return components_[node.component]; }
  const std::vector<DocumentFacts>& documents() const { return facts_; }

private:
  // Each document's namespace: its target namespace, else that of a
  // document that includes it (a schema without one takes the includer's).
  std::vector<std::string> namespacesOf(const SchemaDocuments& documents) const {
    std::map<std::string, std::size_t> indexByLocation;
    for (std::size_t i = 0; i < documents.size(); ++i) indexByLocation.emplace(anchored(documents[i].location), i);
    std::vector<std::optional<std::string>> namespaces(documents.size());
    std::deque<std::size_t> pending;
    for (std::size_t i = 0; i < documents.size(); ++i) {
      namespaces[i] = facts_[i].targetNamespace;
      if (namespaces[i]) pending.push_back(i);
    }
    for (; !pending.empty(); pending.pop_front()) {
      for (const std::string& location : facts_[pending.front()].includes) {
        const auto included = indexByLocation.find(location);
        if (included == indexByLocation.end() || namespaces[included->second]) continue;
        namespaces[included->second] = namespaces[pending.front()];
        pending.push_back(included->second);
      }
    }
    std::vector<std::string> result;
    for (const std::optional<std::string>& uri : namespaces) result.push_back(uri.value_or(""));
    return result;
  }

  std::vector<DocumentFacts> facts_;
  std::vector<Component> components_;
  std::vector<std::size_t> node_;  // of each component
  std::vector<Node> nodes_;
};

// The longest chain from each node along the links of a rule, found without
// recursion: the strongly connected parts (Tarjan's order, each part after
// all it leads to) each count the sum of their nodes. Particles add up
// instead over every link, each as often as it is made (saturating).
std::vector<long> chainLengths(const ComponentGraph& graph, const ChainRule& rule) {
  const unsigned links = rule.links;
  constexpr long kSaturated = long{1} << 40;
  const std::vector<ComponentGraph::Node>& nodes = graph.nodes();
  constexpr std::size_t kUnseen = static_cast<std::size_t>(-1);
  std::vector<std::size_t> order(nodes.size(), kUnseen), low(nodes.size()), part(nodes.size(), kUnseen);
  std::vector<bool> open(nodes.size(), false);
  std::vector<std::size_t> stack;
  std::vector<long> partLength;
  std::size_t counter = 0;
  struct Frame {
    std::size_t node, next;
  };
  std::vector<Frame> work;
  const auto enter = [&](std::size_t node) {
    order[node] = low[node] = counter++;
    stack.push_back(node);
    open[node] = true;
    work.push_back({node, 0});
  };
  for (std::size_t start = 0; start < nodes.size(); ++start) {
    if (order[start] != kUnseen) continue;
    enter(start);
    while (!work.empty()) {
      const std::size_t node = work.back().node;
      if (work.back().next < nodes[node].links.size()) {
        const ComponentGraph::Edge link = nodes[node].links[work.back().next++];
        if (!(link.kind & links)) continue;
        if (order[link.to] == kUnseen) {
          enter(link.to);
        } else if (open[link.to]) {
          low[node] = std::min(low[node], order[link.to]);
        }
        continue;
      }
      work.pop_back();
      if (!work.empty()) low[work.back().node] = std::min(low[work.back().node], low[node]);
      if (low[node] != order[node]) continue;
      const std::size_t id = partLength.size();
      std::vector<std::size_t> members;
      do {
        members.push_back(stack.back());
        stack.pop_back();
        open[members.back()] = false;
        part[members.back()] = id;
      } while (members.back() != node);
      long length = 0, next = 0;
      for (const std::size_t member : members) {
        const ComponentGraph::Node& each = nodes[member];
        length += rule.count == ChainRule::Count::Links ? 1
                  : rule.count == ChainRule::Count::Depth ? each.depth
                                                          : each.particles;
        for (const ComponentGraph::Edge& link : each.links) {
          if (!(link.kind & links) || part[link.to] == id) continue;
          const long further = partLength[part[link.to]];
          if (rule.count == ChainRule::Count::Particles) {
            length = std::min(length + further, kSaturated);
          } else {
            next = std::max(next, further);
          }
        }
      }
      partLength.push_back(std::min(length + next, kSaturated));
    }
  }
  std::vector<long> lengths(nodes.size());
  for (std::size_t i = 0; i < nodes.size(); ++i) lengths[i] = partLength[part[i]];
  return lengths;
}

struct Measured {
  ReferenceChain chain;
  const ChainRule* rule;
};

std::vector<Measured> measure(const SchemaDocuments& documents) {
  const ComponentGraph graph(documents);
  std::vector<Measured> result;
  for (const ChainRule& rule : kRules) {
    ReferenceChain chain{rule.kind, 0, rule.bound, "", "", ""};
    const std::vector<long> lengths = chainLengths(graph, rule);
    // The node reported: where the longest chain starts, or once past the
    // bound, the first node of the shortest chain past it.
    std::optional<std::size_t> reported;
    if (rule.kind == ReferenceChainKind::ExpansionTotal) {
      long written = 0;
      for (std::size_t i = 0; i < lengths.size(); ++i) {
        chain.length = std::min(chain.length + lengths[i], long{1} << 40);
        written += graph.nodes()[i].particles;
        if (!reported || lengths[i] > lengths[*reported]) reported = i;
      }
      chain.bound += kExpansionPerParticleWritten * written;
    }
    for (std::size_t i = 0; rule.kind != ReferenceChainKind::ExpansionTotal && i < lengths.size(); ++i) {
      chain.length = std::max(chain.length, lengths[i]);
      const bool better = !reported || (lengths[i] > rule.bound
                                            ? lengths[*reported] <= rule.bound || lengths[i] < lengths[*reported]
                                            : lengths[*reported] <= rule.bound && lengths[i] > lengths[*reported]);
      if (better) reported = i;
    }
    if (reported) {
      const Component& component = graph.componentOf(graph.nodes()[*reported]);
      chain.location = documents[component.document].location;
      chain.place = component.place;
      chain.component = component.label;
    }
    if (rule.kind == ReferenceChainKind::Nesting) {
      for (std::size_t i = 0; i < documents.size(); ++i) {
        if (graph.documents()[i].tooDeep.empty()) continue;
        chain.bound = kSchemaNestingBound;
        chain.length = kSchemaNestingBound + 1;
        chain.location = documents[i].location;
        chain.place = graph.documents()[i].tooDeep;
        chain.component.clear();
        break;
      }
    }
    result.push_back({std::move(chain), &rule});
  }
  return result;
}

}  // namespace

std::vector<ReferenceChain> measureReferenceChains(const SchemaDocuments& documents) {
  std::vector<ReferenceChain> chains;
  for (Measured& measured : measure(documents)) chains.push_back(std::move(measured.chain));
  return chains;
}

std::optional<ReferenceChainFault> findOverlongReferenceChain(const SchemaDocuments& documents) {
  for (const Measured& measured : measure(documents)) {
    const ReferenceChain& chain = measured.chain;
    if (chain.length <= chain.bound) continue;
    const std::string bound = std::to_string(chain.bound);
    if (chain.component.empty())
      return ReferenceChainFault{chain.location, chain.place, "its elements nest more than " + bound + " deep"};
    const char* start = chain.kind == ReferenceChainKind::Nesting          ? "its elements nest more than "
                        : chain.kind == ReferenceChainKind::Expansion      ? "its content holds more than "
                        : chain.kind == ReferenceChainKind::ExpansionTotal ? "the content models hold more than "
                                                                           : "it leads through more than ";
    return ReferenceChainFault{chain.location, chain.place + ", in " + chain.component, start + bound + measured.rule->what};
  }
  return std::nullopt;
}
