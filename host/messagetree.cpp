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
  ~ElementArena() { truncate(0); }

  TreeElement* allocate() {
    const std::size_t page = count_ / kPageSize;
    if (page == pages_.size()) pages_.emplace_back(new Slot[kPageSize]);  // uninitialised on purpose
    TreeElement* element = new (&pages_[page][count_ % kPageSize]) TreeElement();
    ++count_;
    return element;
  }
  TreeElement* at(std::size_t i) const {
    return std::launder(reinterpret_cast<TreeElement*>(&pages_[i / kPageSize][i % kPageSize]));
  }
  std::size_t size() const { return count_; }
  // Destroys the elements from n on; the pages stay for reuse.
  void truncate(std::size_t n) {
    while (count_ > n) {
      --count_;
      TreeElement* element = at(count_);
      if (element->ownsResources_) element->~TreeElement();
    }
  }

private:
  // 256 elements of 200 bytes: pages of some 50 KiB, few enough
  // allocations for large trees and little waste for small ones.
  static constexpr std::size_t kPageSize = 256;
  using Slot = std::aligned_storage_t<sizeof(TreeElement), alignof(TreeElement)>;
  std::vector<std::unique_ptr<Slot[]>> pages_;
  std::size_t count_ = 0;
};

// The texts of the tree's values, in blocks that are kept for reuse when the
// tree is cleared: values borrow their storage from here instead of holding
// one heap block each.
class TextStore {
public:
  // Room for units code units, valid until reset or destruction.
  char16_t* allocate(std::size_t units) {
    if (units > kBlockUnits) return oversized_.emplace_back(new char16_t[units]).get();
    if (blocks_.empty() || used_ + units > kBlockUnits) nextBlock();
    char16_t* storage = blocks_[current_].get() + used_;
    used_ += units;
    return storage;
  }
  // Every text is given up; the blocks stay.
  void reset() {
    oversized_.clear();
    current_ = 0;
    used_ = 0;
  }

private:
  void nextBlock() {
    if (!blocks_.empty()) ++current_;
    if (current_ == blocks_.size()) blocks_.emplace_back(new char16_t[kBlockUnits]);
    used_ = 0;
  }

  static constexpr std::size_t kBlockUnits = 16384;  // 32 KiB
  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  std::vector<std::unique_ptr<char16_t[]>> oversized_;
  std::size_t current_ = 0;
  std::size_t used_ = 0;
};

struct MessageTree::Impl {
  ElementArena arena;
  TextStore texts;
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
  const ZelWstring* pooledReference = pooled(reference);
  if (pooledReference || element.extras_) element.extras().dictionaryRef = pooledReference;
}

void MessageTree::setValue(TreeElement& element, const PWFData& value) {
  const ELogicalType type = value.getDataLogicalType();
  const bool text = type == eLogicalString || type == eLogicalDecimal || type == eLogicalNone;
  if (!text || value.isNull() || value.isNothing()) {
    element.value_ = value;
    // Binary bytes, and the texts of a date-time or an interval, have storage of their own.
    if (type == eLogicalBinary || type == eLogicalDateTime || type == eLogicalInterval) element.ownsResources_ = true;
    return;
  }
  const std::size_t length = value.getStringLength();
  element.value_.assignTextInStorage(type, value.getStringValue(), length, impl_->texts.allocate(length + 1));
}

void MessageTree::clear() {
  impl_->arena.truncate(0);
  impl_->texts.reset();
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
