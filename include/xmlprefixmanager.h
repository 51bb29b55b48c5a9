#ifndef XMLPREFIXMANAGER_H
#define XMLPREFIXMANAGER_H

#include "zelapi.h"
#include "zellog.h"
#include "zelwstring.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

// Hands out namespace prefixes while a document is written and remembers
// which of them are declared in the open element levels.
//
// The writer opens a level per element (addLevel) and closes it after the
// end tag (removeLevel). getNamespacePrefix answers a URI's prefix and
// whether the start tag being written still has to declare it; a prefix it
// reports as new counts as declared at the innermost level from then on, so
// nested elements reuse it and a sibling declares it again.
//
// Prefix choice for a URI not declared in scope, in this order:
//   1. its preferred prefix (addNamespace), unless that prefix is in scope
//      bound to another URI;
//   2. the prefix generated for it earlier, unless in scope;
//   3. a new "ns<N>" (N counting from 1) that is neither in scope, nor a
//      preferred prefix, nor generated for another URI.
// The XML namespace always has the prefix "xml", the namespace of namespace
// declarations the prefix "xmlns"; neither is ever declared.
class ZEL_API XMLPrefixManager : public ZelOwnedLogSource {
public:
  static constexpr std::u16string_view XML_NAMESPACE_URI = u"http://www.w3.org/XML/1998/namespace";
  static constexpr std::u16string_view XMLNS_NAMESPACE_URI = u"http://www.w3.org/2000/xmlns/";

  explicit XMLPrefixManager(const ZelNamedLogSource* owner);
  ~XMLPrefixManager() override;
  XMLPrefixManager(const XMLPrefixManager&) = delete;
  XMLPrefixManager& operator=(const XMLPrefixManager&) = delete;

  void addLevel();
  // Closes the innermost level and forgets its declarations. Declarations
  // made while no level was open live until the manager is destroyed.
  void removeLevel();
  std::size_t getLevelCount() const { return levelStarts_.size(); }

  // Records the prefix to prefer for uri (the last call for a URI wins). An
  // empty prefix, the reserved "xml" and "xmlns", and the reserved
  // namespaces, are ignored.
  void addNamespace(const ZelWstring& uri, const ZelWstring& preferredPrefix);

  // prefix := the prefix of uri. Returns true when the caller must declare
  // it in the current start tag (it was not declared in any open level; it
  // now counts as declared at the innermost one). With create false, a URI
  // not in scope gives an empty prefix and false. An empty URI (no
  // namespace) gives an empty prefix and false.
  bool getNamespacePrefix(const ZelWstring& uri, ZelWstring& prefix, bool create);
  // The prefix uri is declared with in the open levels, as getNamespacePrefix
  // would answer it without declaring anything; null when uri is not
  // declared there, is empty or is a reserved namespace. Valid until the next
  // call that declares or binds.
  // The answers for the last two URIs found are remembered by the URI's
  // address while the scope stays as it is, so the text at that address
  // must stay unchanged while the level innermost at the call stays open
  // (a writer asks with the URIs of its tree and dictionary).
  const ZelWstring* findPrefixInScope(const ZelWstring& uri) {
    for (const PrefixInScope& known : prefixesInScope_)
      if (known.uri == &uri && known.scopeVersion == scopeVersion_) return known.prefix;
    return lookUpPrefixInScope(uri);
  }
  // Changes whenever an answer of findPrefixInScope may change or the text
  // it pointed to may move: a caller may keep an answer while this stays.
  std::uint64_t getScopeVersion() const { return scopeVersion_; }
  // Binds a given prefix to uri, as a QName value written with that prefix
  // needs. Returns true when the caller must declare it in the current start
  // tag (the prefix is not bound to uri in scope; from now on it is, at the
  // innermost level). False, and nothing bound, when it is already bound so,
  // when the innermost level already binds the prefix to another URI, or
  // for an empty or reserved prefix or URI.
  bool bindPrefix(const ZelWstring& uri, const ZelWstring& prefix);

private:
  using Id = std::uint32_t;
  static constexpr Id NONE = static_cast<Id>(-1);

  struct Namespace {
    Id preferred = NONE;  // prefix ids
    Id generated = NONE;
    Id innermostBinding = NONE;  // index in bindings_
  };
  // The bindings in scope of a URI or a prefix are chained from the
  // innermost outwards, so that a look-up costs the same with thousands of
  // declarations in scope (a message that declares every namespace it uses
  // at its root) as with a few.
  struct Binding {
    Id ns;
    Id prefix;
    Id outerOfNs;
    Id outerOfPrefix;
  };

  const ZelWstring* lookUpPrefixInScope(const ZelWstring& uri);
  // The id of a URI met before, else NONE.
  Id findUri(const ZelWstring& uri);
  Id internUri(const ZelWstring& uri);
  Id internPrefix(const ZelWstring& prefix);
  const Binding* findBindingOfUri(Id ns) const;
  const Binding* findBindingOfPrefix(Id prefix) const;
  void bind(Id ns, Id prefix);
  Id choosePrefix(Id ns);
  Id generatePrefix();

  std::unordered_map<ZelWstring, Id, ZelWstringHash> uriIds_;
  // The URIs findUri found last, with their ids (ids never change): a
  // document's elements mostly take turns among a few namespaces.
  struct RecentUri {
    ZelWstring uri;
    Id id = NONE;
  };
  static constexpr std::size_t RECENT_URIS = 4;
  RecentUri recentUris_[RECENT_URIS];
  std::size_t nextRecentUri_ = 0;  // the entry findUri replaces next
  struct PrefixInScope {
    const ZelWstring* uri = nullptr;
    const ZelWstring* prefix = nullptr;
    std::uint64_t scopeVersion = 0;
    std::size_t level = 0;  // the level count at the call
  };
  PrefixInScope prefixesInScope_[2];  // the older first
  std::vector<Namespace> namespaces_;  // by URI id
  std::unordered_map<ZelWstring, Id, ZelWstringHash> prefixIds_;
  std::vector<ZelWstring> prefixes_;   // by prefix id
  std::vector<Id> innermostBindingOfPrefix_;  // by prefix id
  std::vector<Binding> bindings_;      // declarations in scope, innermost last
  std::vector<std::size_t> levelStarts_;
  unsigned long nextGenerated_ = 1;
  std::uint64_t scopeVersion_ = 0;
};

#endif
