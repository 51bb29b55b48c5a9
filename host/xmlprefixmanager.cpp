#include "xmlprefixmanager.h"

#include <cassert>
#include <string>

namespace {
constexpr std::u16string_view XML_PREFIX = u"xml";
constexpr std::u16string_view XMLNS_PREFIX = u"xmlns";
constexpr std::u16string_view GENERATED_PREFIX_STEM = u"ns";

bool isReservedPrefix(const ZelWstring& prefix) { return prefix == XML_PREFIX || prefix == XMLNS_PREFIX; }

// The prefix a reserved namespace always has (none for other URIs): a
// declaration binding another prefix to it is an error to a reader.
std::u16string_view reservedPrefixOf(const ZelWstring& uri) {
  if (uri == XMLPrefixManager::XML_NAMESPACE_URI) return XML_PREFIX;
  if (uri == XMLPrefixManager::XMLNS_NAMESPACE_URI) return XMLNS_PREFIX;
  return {};
}
}  // namespace

XMLPrefixManager::XMLPrefixManager(const ZelNamedLogSource* owner) : ZelOwnedLogSource(owner) {}

XMLPrefixManager::~XMLPrefixManager() = default;

void XMLPrefixManager::addLevel() { levelStarts_.push_back(bindings_.size()); }

void XMLPrefixManager::removeLevel() {
  assert(!levelStarts_.empty() && "removeLevel without addLevel");
  if (levelStarts_.empty()) return;
  if (bindings_.size() > levelStarts_.back()) ++scopeVersion_;
  while (bindings_.size() > levelStarts_.back()) {
    const Binding& innermost = bindings_.back();
    namespaces_[innermost.ns].innermostBinding = innermost.outerOfNs;
    innermostBindingOfPrefix_[innermost.prefix] = innermost.outerOfPrefix;
    bindings_.pop_back();
  }
  levelStarts_.pop_back();
  // The texts findPrefixInScope was asked about by address in this level
  // may go with it.
  for (PrefixInScope& known : prefixesInScope_)
    if (known.level > levelStarts_.size()) known.uri = nullptr;
}

void XMLPrefixManager::addNamespace(const ZelWstring& uri, const ZelWstring& preferredPrefix) {
  if (uri.empty() || preferredPrefix.empty() || !reservedPrefixOf(uri).empty()) return;
  if (isReservedPrefix(preferredPrefix)) {
    if (ZelLog::traceOn())
      ZelLog::trace(this, "XMLPrefixManager::addNamespace", {"reserved preferred prefix ignored", preferredPrefix, uri});
    return;
  }
  const Id prefix = internPrefix(preferredPrefix);
  // A prefix generated earlier for another URI is given up, so that a
  // generated prefix never stands in for a preferred one.
  for (Namespace& entry : namespaces_)
    if (entry.generated == prefix) entry.generated = NONE;
  namespaces_[internUri(uri)].preferred = prefix;
}

bool XMLPrefixManager::getNamespacePrefix(const ZelWstring& uri, ZelWstring& prefix, bool create) {
  if (const std::u16string_view reserved = reservedPrefixOf(uri); !reserved.empty()) {
    prefix.assign(reserved);
    return false;
  }
  prefix.clear();
  if (uri.empty()) return false;
  const Id known = findUri(uri);
  if (known != NONE) {
    if (const Binding* binding = findBindingOfUri(known)) {
      prefix.assign(prefixes_[binding->prefix]);
      return false;
    }
  }
  if (!create) return false;
  const Id ns = known != NONE ? known : internUri(uri);
  const Id chosen = choosePrefix(ns);
  bind(ns, chosen);
  prefix.assign(prefixes_[chosen]);
  return true;
}

const ZelWstring* XMLPrefixManager::lookUpPrefixInScope(const ZelWstring& uri) {
  if (uri.empty() || !reservedPrefixOf(uri).empty()) return nullptr;
  const Id known = findUri(uri);
  if (known == NONE) return nullptr;
  const Binding* binding = findBindingOfUri(known);
  if (!binding) return nullptr;
  prefixesInScope_[0] = prefixesInScope_[1];
  prefixesInScope_[1] = {&uri, &prefixes_[binding->prefix], scopeVersion_, levelStarts_.size()};
  return prefixesInScope_[1].prefix;
}

bool XMLPrefixManager::bindPrefix(const ZelWstring& uri, const ZelWstring& prefix) {
  if (uri.empty() || prefix.empty() || !reservedPrefixOf(uri).empty() || isReservedPrefix(prefix)) return false;
  const Id ns = internUri(uri);
  const Id prefixId = internPrefix(prefix);
  if (const Binding* binding = findBindingOfPrefix(prefixId)) {
    if (binding->ns == ns) return false;
    const std::size_t innermost = levelStarts_.empty() ? 0 : levelStarts_.back();
    if (static_cast<std::size_t>(binding - bindings_.data()) >= innermost) return false;
  }
  bind(ns, prefixId);
  return true;
}

XMLPrefixManager::Id XMLPrefixManager::findUri(const ZelWstring& uri) {
  // The few URIs found last are compared before the table is hashed into.
  for (const RecentUri& recent : recentUris_)
    if (recent.id != NONE && uri == recent.uri) return recent.id;
  const auto known = uriIds_.find(uri);
  if (known == uriIds_.end()) return NONE;
  RecentUri& replaced = recentUris_[nextRecentUri_];
  nextRecentUri_ = (nextRecentUri_ + 1) % RECENT_URIS;
  replaced.uri.assign(uri);
  replaced.id = known->second;
  return replaced.id;
}

XMLPrefixManager::Id XMLPrefixManager::internUri(const ZelWstring& uri) {
  const auto [entry, isNew] = uriIds_.emplace(uri, static_cast<Id>(namespaces_.size()));
  if (isNew) namespaces_.emplace_back();
  return entry->second;
}

XMLPrefixManager::Id XMLPrefixManager::internPrefix(const ZelWstring& prefix) {
  const auto [entry, isNew] = prefixIds_.emplace(prefix, static_cast<Id>(prefixes_.size()));
  if (isNew) {
    prefixes_.push_back(prefix);
    innermostBindingOfPrefix_.push_back(NONE);
    ++scopeVersion_;
  }
  return entry->second;
}

// A binding whose prefix an inner one binds again (a QName value's, see
// bindPrefix) no longer counts.
const XMLPrefixManager::Binding* XMLPrefixManager::findBindingOfUri(Id ns) const {
  const Id innermost = namespaces_[ns].innermostBinding;
  if (innermost == NONE || innermostBindingOfPrefix_[bindings_[innermost].prefix] != innermost) return nullptr;
  return &bindings_[innermost];
}

const XMLPrefixManager::Binding* XMLPrefixManager::findBindingOfPrefix(Id prefix) const {
  const Id innermost = innermostBindingOfPrefix_[prefix];
  return innermost == NONE ? nullptr : &bindings_[innermost];
}

void XMLPrefixManager::bind(Id ns, Id prefix) {
  const Id at = static_cast<Id>(bindings_.size());
  bindings_.push_back(Binding{ns, prefix, namespaces_[ns].innermostBinding, innermostBindingOfPrefix_[prefix]});
  namespaces_[ns].innermostBinding = at;
  innermostBindingOfPrefix_[prefix] = at;
  ++scopeVersion_;
}

// Only called for a URI that is not in scope, so a prefix found in scope is
// bound to another URI.
XMLPrefixManager::Id XMLPrefixManager::choosePrefix(Id ns) {
  Namespace& entry = namespaces_[ns];
  if (entry.preferred != NONE && !findBindingOfPrefix(entry.preferred)) return entry.preferred;
  if (entry.generated == NONE || findBindingOfPrefix(entry.generated)) entry.generated = generatePrefix();
  return entry.generated;
}

// Every prefix in scope, preferred or generated before, is interned; a
// candidate that is not interned yet therefore clashes with none of them.
XMLPrefixManager::Id XMLPrefixManager::generatePrefix() {
  ZelBufferedWstring<16> digits;
  ZelBufferedWstring<16> prefix;
  for (;;) {
    digits.convertString(std::to_string(nextGenerated_++));
    prefix.assign(GENERATED_PREFIX_STEM);
    prefix.append(digits);
    if (prefixIds_.find(prefix) == prefixIds_.end()) return internPrefix(prefix);
  }
}
