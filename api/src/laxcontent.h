#ifndef WFXML_SRC_LAXCONTENT_H
#define WFXML_SRC_LAXCONTENT_H

// Content XML Schema checks and Xerces-C's scanners do not. An element that
// a lax wildcard admits and no declaration names is checked against
// xs:anyType, whose content is a lax wildcard again: each element inside it
// that a global declaration names is checked, content and all, and the
// others are looked into the same way. Xerces-C checks nothing below the
// undeclared element. The reader that names problems finds those elements
// (LaxContent) and writes each out as a document of its own
// (DetachedElement), which the validator checks as any other.

#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/util/RefVectorOf.hpp>
#include <xercesc/validators/schema/ComplexTypeInfo.hpp>
#include <xercesc/validators/schema/SchemaValidator.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wfxml::detail {

// What the scanner made of each open element, as far as lax content goes.
class LaxContent {
public:
  enum class Kind {
    Checked,     // the scanner checks it
    Unchecked,   // nothing to add: under a skip wildcard, or inside an element checked apart
    Undeclared,  // a lax wildcard admits it and no declaration names it: content as xs:anyType's
    Apart,       // a global declaration names it, in undeclared content: to be checked apart
  };

  void clear() { open_.clear(); }
  // At a start tag, once the scanner has checked it (a checked element's
  // type is the validator's current one then); xsiTyped: the tag has an
  // xsi:type, by which the scanner checks an element no declaration names.
  // An empty element ends at once.
  Kind started(const xercesc::XMLElementDecl& declaration, unsigned int uriId, bool xsiTyped, bool isEmpty,
               xercesc::SchemaValidator* validator, const xercesc::XMLScanner& scanner);
  void ended() {
    if (!open_.empty()) open_.pop_back();
  }

private:
  Kind ofChild(const xercesc::XMLElementDecl& declaration, unsigned int uriId, bool xsiTyped,
               const xercesc::XMLScanner& scanner) const;

  struct Open {
    Kind kind;
    xercesc::ComplexTypeInfo* type;  // a checked element's, for its children
  };
  std::vector<Open> open_;
};

// The namespace declarations in scope, as the start tags made them.
class NamespaceScope {
public:
  void clear() {
    bindings_.clear();
    ends_.clear();
  }
  // Every start tag, an empty element's too, is ended.
  void started(const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes, XMLSize_t count);
  void ended();
  // "prefix" -> namespace ("" the default), innermost last.
  const std::vector<std::pair<std::u16string, std::u16string>>& bindings() const { return bindings_; }

private:
  std::vector<std::pair<std::u16string, std::u16string>> bindings_;
  std::vector<std::size_t> ends_;
};

// An element and its content written out as a document of its own, its
// start tag declaring the namespaces in scope where it stood.
// Every tag's '>' opens a line and nothing else does (line ends in text and
// values are written as references), so that a problem's line tells the tag
// the validator stood after, and the place that tag has in the document.
class DetachedElement {
public:
  using Place = std::pair<std::uint64_t, std::uint64_t>;  // line, column

  // Begins with the element's start tag, read where the document stands at
  // place; scope holds the element's own declarations. Its size is bounded: an element of more than kMaxUnits is not
  // checked.
  void start(std::u16string_view qname, const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes, XMLSize_t count,
             bool isEmpty, const NamespaceScope& scope, Place place);
  void startChild(std::u16string_view qname, const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes,
                  XMLSize_t count, bool isEmpty, Place place);
  void text(const XMLCh* characters, XMLSize_t length);
  void end(std::u16string_view qname, Place place);

  bool complete() const { return depth_ == 0; }
  bool whole() const { return !overflowed_; }
  std::string utf8() const;
  // The document's place of what the validator reports at line of the
  // detached element's own document.
  Place placeOf(std::uint64_t line) const;

  static constexpr std::size_t kMaxUnits = std::size_t{32} << 20;  // UTF-16 units

private:
  void tag(const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes, XMLSize_t count, bool isEmpty, Place place);
  void append(std::u16string_view text, bool inValue);

  std::u16string document_;
  std::vector<Place> tagPlaces_;  // the document's place after each tag written
  std::size_t depth_ = 0;
  bool overflowed_ = false;
};

}  // namespace wfxml::detail

#endif
