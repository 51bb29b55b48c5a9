#include "messagetree.h"

#include "treeerror.h"
#include "zelexception.h"

#include <cassert>
#include <map>
#include <new>
#include <tuple>
#include <type_traits>
#include <unordered_map>

FITreeIterator::~FITreeIterator() = default;
FIMessageTree::~FIMessageTree() = default;
TreeNameResolver::~TreeNameResolver() = default;
EmbeddedDictionarySwitch::~EmbeddedDictionarySwitch() = default;

void throwTreeError(const char* file, int line, const char* function, const std::string& where,
                    const std::string& problem) {
  ZelFatalException e(file, line, function, nullptr, ZelMessages::CP_TREE_ERROR);
  e.addInsert(where);
  e.addInsert(problem);
  throw e;
}

// Elements live in pages of fixed size, in creation order, so that a whole
// tree is freed in one loop and a rollback frees the newest elements only.
class ElementArena {
public:
  ElementArena() = default;
  ElementArena(const ElementArena&) = delete;
  ElementArena& operator=(const ElementArena&) = delete;
  ~ElementArena() {
    while (constructed_ > 0) at(--constructed_)->~TreeElement();
  }

  TreeElement* allocate() {
    if (count_ < constructed_) {
      TreeElement* element = at(count_++);  // given up by truncate
      element->resetForReuse();
      return element;
    }
    const std::size_t page = count_ / kPageSize;
    if (page == pages_.size()) pages_.emplace_back(new Slot[kPageSize]);  // uninitialised on purpose
    TreeElement* element = new (&pages_[page][count_ % kPageSize]) TreeElement();
    ++count_;
    ++constructed_;
    return element;
  }
  TreeElement* at(std::size_t i) const {
    return std::launder(reinterpret_cast<TreeElement*>(&pages_[i / kPageSize][i % kPageSize]));
  }
  std::size_t size() const { return count_; }
  // Gives up the elements from n on; pages and values' storage stay for reuse.
  void truncate(std::size_t n) {
    while (count_ > n) at(--count_)->releaseRecords();
  }

private:
  // 256 elements of a few hundred bytes: pages of some 64 KiB, few enough
  // allocations for large trees and little waste for small ones.
  static constexpr std::size_t kPageSize = 256;
  using Slot = std::aligned_storage_t<sizeof(TreeElement), alignof(TreeElement)>;
  std::vector<std::unique_ptr<Slot[]>> pages_;
  std::size_t count_ = 0;        // in use
  std::size_t constructed_ = 0;  // in use and recycled
};

void TreeElement::releaseRecords() {
  startInfo_.reset();
  dataInfo_.reset();
  endInfo_.reset();
}

void TreeElement::resetForReuse() {
  parent_ = firstChild_ = lastChild_ = nextSibling_ = previousSibling_ = nullptr;
  name_ = namespaceURI_ = dictionaryRef_ = nullptr;
  tagId_ = memberId_ = tagIndex_ = memberIndex_ = typeIndex_ = itemTypeIndex_ = valueTypeIndex_ = -1;
  kind_ = 0;
  bitStream_ = discarded_ = valueSet_ = false;
}

struct MessageTree::Impl {
  ElementArena arena;
  // Pooled texts; each key views the string it maps to.
  std::unordered_map<std::u16string_view, std::unique_ptr<ZelWstring>> pool;
  // Names given by the resolver, by (tag id, member id, type index).
  std::map<std::tuple<long, long, long>, ZelWstring> resolvedNames;
};

MessageTree::MessageTree() : impl_(std::make_unique<Impl>()) {}

MessageTree::~MessageTree() {
  // Elements point into the pool, so they go first.
  impl_->arena.truncate(0);
}

std::unique_ptr<FITreeIterator> MessageTree::getRootIterator() const {
  if (!root_) return nullptr;
  return std::make_unique<MessageTreeIterator>(*this, *root_);
}

std::size_t MessageTree::elementCount() const { return impl_->arena.size(); }

TreeElement& MessageTree::createRoot() {
  if (root_) throwTreeError(__FILE__, __LINE__, "MessageTree::createRoot", "createRoot", "the tree has a root already");
  root_ = impl_->arena.allocate();
  return *root_;
}

TreeElement& MessageTree::appendChild(TreeElement& parent) {
  TreeElement* child = impl_->arena.allocate();
  child->parent_ = &parent;
  child->previousSibling_ = parent.lastChild_;
  if (parent.lastChild_)
    parent.lastChild_->nextSibling_ = child;
  else
    parent.firstChild_ = child;
  parent.lastChild_ = child;
  return *child;
}

void MessageTree::unlink(TreeElement& child) {
  TreeElement* parent = child.parent_;
  if (!parent) return;
  (child.previousSibling_ ? child.previousSibling_->nextSibling_ : parent->firstChild_) = child.nextSibling_;
  (child.nextSibling_ ? child.nextSibling_->previousSibling_ : parent->lastChild_) = child.previousSibling_;
  child.parent_ = child.previousSibling_ = child.nextSibling_ = nullptr;  // a roll-back passes it by
}

const ZelWstring* MessageTree::pooled(std::u16string_view text) {
  if (text.empty()) return nullptr;
  auto found = impl_->pool.find(text);
  if (found != impl_->pool.end()) return found->second.get();
  auto copy = std::make_unique<ZelWstring>(text);
  const ZelWstring* result = copy.get();
  impl_->pool.emplace(result->view(), std::move(copy));
  return result;
}

void MessageTree::setName(TreeElement& element, std::u16string_view name) { element.name_ = pooled(name); }

void MessageTree::setNamespaceURI(TreeElement& element, std::u16string_view uri) {
  element.namespaceURI_ = pooled(uri);
}

void MessageTree::setDictionaryRef(TreeElement& element, std::u16string_view reference) {
  element.dictionaryRef_ = pooled(reference);
}

void MessageTree::clear() {
  impl_->arena.truncate(0);
  impl_->pool.clear();
  root_ = nullptr;
  startMsgInfo_.reset();
  endMsgInfo_.reset();
}

MessageTree::Mark MessageTree::mark() const { return Mark{impl_->arena.size()}; }

void MessageTree::rollBackTo(Mark mark) {
  ElementArena& arena = impl_->arena;
  const std::size_t end = arena.size();
  if (mark.elementCount >= end) return;
  for (std::size_t i = mark.elementCount; i < end; ++i) arena.at(i)->discarded_ = true;
  // Newest first: every younger child of a surviving parent is then the
  // parent's last child when its turn comes.
  for (std::size_t i = end; i-- > mark.elementCount;) {
    TreeElement* element = arena.at(i);
    TreeElement* parent = element->parent_;
    if (!parent || parent->discarded_) continue;
    assert(parent->lastChild_ == element && "children are only ever appended");
    parent->lastChild_ = element->previousSibling_;
    if (parent->lastChild_)
      parent->lastChild_->nextSibling_ = nullptr;
    else
      parent->firstChild_ = nullptr;
  }
  if (root_ && root_->discarded_) root_ = nullptr;
  arena.truncate(mark.elementCount);
}

void MessageTree::setNameResolver(const TreeNameResolver* resolver) {
  resolver_ = resolver;
  impl_->resolvedNames.clear();
}

const ZelWstring& MessageTree::displayName(const TreeElement& element) const {
  if (element.name_) return *element.name_;
  if (!resolver_ || (element.tagId_ <= 0 && element.memberId_ <= 0)) return TreeElement::emptyText();
  const auto key = std::make_tuple(element.tagId_, element.memberId_, element.typeIndex_);
  auto found = impl_->resolvedNames.find(key);
  if (found == impl_->resolvedNames.end())
    found = impl_->resolvedNames.emplace(key, resolver_->nameOf(element.tagId_, element.memberId_, element.typeIndex_))
                .first;
  return found->second;
}

const ZelWstring& MessageTreeIterator::getTagName() const { return tree_->displayName(*element_); }

void MessageTreeIterator::loadDictionaryAndDescriptor() {
  const ZelWstring& reference = element_->getDictionaryRef();
  if (reference.empty()) return;
  EmbeddedDictionarySwitch* dictionarySwitch = tree_->getDictionarySwitch();
  if (!dictionarySwitch)
    throwTreeError(__FILE__, __LINE__, "MessageTreeIterator::loadDictionaryAndDescriptor", reference.toUtf8(),
                   "the element needs its own dictionary but the tree has no dictionary switch");
  dictionarySwitch->loadDictionary(reference);
}

void MessageTreeIterator::releaseDictionaryAndDescriptor() {
  const ZelWstring& reference = element_->getDictionaryRef();
  EmbeddedDictionarySwitch* dictionarySwitch = tree_->getDictionarySwitch();
  if (reference.empty() || !dictionarySwitch) return;
  dictionarySwitch->releaseDictionary(reference);
}
