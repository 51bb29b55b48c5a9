#include "contentcheck.h"

#include "error.h"
#include "messagetree.h"
#include "utf8.h"
#include "zelexception.h"

#include <algorithm>

namespace wfxml::detail {
namespace {

std::string times(long count) { return count == 1 ? "1 time" : std::to_string(count) + " times"; }

std::string quoted(const SchemaMember& member) {
  return "'" + std::string(member.isAttribute ? "@" : "") + member.name + "'";
}

}  // namespace

long ContentCheck::positionOf(const TreeElement& child, const SchemaType& type) const {
  if (child.getMemberId() >= 1) {
    const auto byRow = type.byRow.find(child.getMemberIndex());
    if (byRow != type.byRow.end()) return static_cast<long>(byRow->second);
    for (std::size_t i = 0; i < type.members.size(); ++i)
      if (type.members[i].memberId == child.getMemberId()) return static_cast<long>(i);
    return -1;
  }
  if (child.getTagIndex() < 0) return -1;
  // A global element: one a member refers to, or a member of a substitution
  // group standing in its head's place.
  for (std::size_t i = 0; i < type.members.size(); ++i)
    if (!type.members[i].isAttribute && type.members[i].tagRow == child.getTagIndex()) return static_cast<long>(i);
  const SchemaMember* head = view_.substitutedMember(type, child.getTagIndex());
  return head ? static_cast<long>(head - type.members.data()) : -1;
}

long ContentCheck::positionOfName(const TreeElement& child, const SchemaType& type) const {
  std::string name, namespaceUri;
  if (child.getTagIndex() >= 0) {
    const SchemaElement* global = view_.element(child.getTagIndex());
    if (!global || global->isAttribute) return -1;
    name = global->name;
    namespaceUri = global->namespaceUri;
  } else {
    name = toUtf8(child.getName().view());
    if (name.empty() || name.front() == '@') return -1;  // an anonymous value, an attribute
    namespaceUri = toUtf8(child.getNamespaceURI().view());
  }
  const SchemaMember* member = type.findMember(name, namespaceUri, false, false, NamespaceMatch::exact);
  return member ? static_cast<long>(member - type.members.data()) : -1;
}

// Its value, or the anonymous one beside its attributes.
bool ContentCheck::holdsNull(const TreeElement& child) {
  if (child.getValue().isNull()) return true;
  for (const TreeElement* value = child.getFirstChild(); value; value = value->getNextSibling())
    if (isAnonymous(*value) && value->getValue().isNull())
      return true;
  return false;
}

bool ContentCheck::nillable(const TreeElement& child) const {
  if (const SchemaMember* member = view_.memberOf(child)) return member->nillable;
  const SchemaElement* global = view_.element(child.getTagIndex());
  return !global || global->nillable;
}

bool ContentCheck::required(const SchemaMember& member) const {
  return member.minOccurs >= 1 && taken(member.branches);
}

bool ContentCheck::taken(const std::vector<SchemaMember::Branch>& branches) const {
  for (const SchemaMember::Branch& branch : branches) {
    if (!branch.exclusive) return false;
    const auto choice = static_cast<std::size_t>(branch.choice);
    if (choice >= taken_.size() || taken_[choice].first != branch.branch) return false;
  }
  return true;
}

ContentProblem ContentCheck::choiceProblem(const SchemaType& type, const SchemaType::Choice& choice) const {
  const SchemaMember& first = type.members[choice.slots.front().member];
  const auto names = [&] {
    std::string text = "one choice of ";
    int branch = -1;
    for (const SchemaType::Choice::Slot& slot : choice.slots) {
      const SchemaMember& member = type.members[slot.member];
      if (member.branches[slot.marker].branch == branch) continue;
      branch = member.branches[slot.marker].branch;
      text += (branch == first.branches[choice.slots.front().marker].branch ? "" : ", ") + quoted(member);
    }
    return text;
  };
  const bool mustBeMade = choice.least > 0 && taken(choice.around);
  if (choice.most == 1) {
    for (const SchemaType::Choice::Slot& slot : choice.slots)
      if (counts_[type.members[slot.member].firstOfName] > 0) return {};
    if (choice.needsContent && mustBeMade) return {&first, names() + ": required, but none given"};
    return {};
  }
  if (!choice.namesOwn) return {};
  // A repeating choice: how often each branch must be taken for the members
  // given (at least), and may be (at most).
  long made = 0, mayBeMade = 0;
  bool mayBeEmpty = false;
  for (const int branch : choice.branches) {
    long least = 0, most = kUnboundedOccurs;
    for (const SchemaType::Choice::Slot& slot : choice.slots) {
      const SchemaMember::Branch& marker = type.members[slot.member].branches[slot.marker];
      if (marker.branch != branch) continue;
      const long count = counts_[slot.member];
      if (count > 0) least = std::max(least, marker.most == kUnboundedOccurs ? 1 : (count + marker.most - 1) / marker.most);
      if (marker.least > 0 && slot.marker + 1 == type.members[slot.member].branches.size())
        most = most == kUnboundedOccurs ? count / marker.least : std::min(most, count / marker.least);
    }
    made += least;
    mayBeEmpty = mayBeEmpty || most == kUnboundedOccurs;
    mayBeMade += most == kUnboundedOccurs ? 0 : most;
  }
  if (choice.most != kUnboundedOccurs && made > choice.most)
    return {&first, names() + ": given " + times(made) + ", at most " + std::to_string(choice.most) + " allowed"};
  if (mustBeMade && !mayBeEmpty && !type.hasWildcard && mayBeMade < choice.least)
    return {&first, names() + ": given " + times(mayBeMade) + ", at least " + std::to_string(choice.least) + " required"};
  return {};
}

ContentProblem ContentCheck::tooFew(const SchemaType& type, const SchemaType::NameBounds& bounds) const {
  long least = bounds.least;
  if (bounds.inChoice) {
    for (std::size_t i = bounds.first; i <= type.members[bounds.first].lastOfName; ++i) {
      const SchemaMember& member = type.members[i];
      if (member.firstOfName == bounds.first && !member.branches.empty() && required(member)) least += member.minOccurs;
    }
  }
  const long count = counts_[bounds.first];
  const SchemaMember& member = type.members[bounds.first];
  if (count == 0 && least > 0) return {&member, "required, but missing"};
  if (count < least) return {&member, "given " + times(count) + ", at least " + std::to_string(least) + " required"};
  return {};
}

ContentProblem ContentCheck::check(const TreeElement& element, const SchemaType& type) {
  if (element.getValue().isNull()) return {};
  // Only the counts the last check raised are zeroed: types may have many members.
  for (const std::size_t position : counted_) counts_[position] = 0;
  counted_.clear();
  if (counts_.size() < type.members.size()) counts_.resize(type.members.size(), 0);
  if (spare_.size() < type.members.size()) spare_.resize(type.members.size(), 0);
  bool nil = false;
  for (const TreeElement* child = element.getFirstChild(); child; child = child->getNextSibling()) {
    long position = positionOf(*child, type);
    if (position < 0 && type.hasWildcard) position = positionOfName(*child, type);
    if (position < 0) {
      nil = nil || isNilAttribute(child->getName(), child->getNamespaceURI(), child->getValue());
      continue;
    }
    if (!type.members[position].isAttribute && holdsNull(*child) && !nillable(*child))
      return {&type.members[position], "null, but the element is not nillable"};
    const std::size_t first = type.members[position].firstOfName;
    // An element beyond what the members of its name take is content of a
    // wildcard that admits it, as the validator reads it, whether the
    // wildcard comes before the member or after it, and whichever of the two
    // the parser marked it as.
    if (!type.members[position].isAttribute && type.mostOfName[first] != kUnboundedOccurs &&
        type.admitsElement(type.members[position].namespaceUri)) {
      if (spare_[first]++ == 0) spared_.push_back(first);
      continue;
    }
    if (counts_[first]++ == 0) counted_.push_back(first);
  }
  for (const std::size_t first : spared_) {
    const long taken = std::min(spare_[first], std::max(0L, type.mostOfName[first] - counts_[first]));
    if (taken > 0 && counts_[first] == 0) counted_.push_back(first);
    counts_[first] += taken;
    spare_[first] = 0;
  }
  spared_.clear();
  if (nil) return {};
  // The branches given; a name shared by several members tells none.
  taken_.clear();
  for (const std::size_t i : type.branchMembers) {
    const SchemaMember& member = type.members[i];
    if (counts_[i] == 0) continue;
    for (const SchemaMember::Branch& branch : member.branches) {
      if (!branch.exclusive) continue;
      const auto choice = static_cast<std::size_t>(branch.choice);
      if (choice >= taken_.size()) taken_.resize(choice + 1, {-1, -1});
      auto& [given, by] = taken_[choice];
      if (given < 0) {
        given = branch.branch;
        by = static_cast<long>(i);
      } else if (given != branch.branch) {
        return {&member, "an alternative to " + quoted(type.members[by]) + ": one choice, two branches given"};
      }
    }
  }
  // The first problem in member order: too many of a name given, too few of
  // one, a choice not made or made too often or too seldom.
  std::size_t tooMany = type.members.size();
  for (const std::size_t first : counted_) {
    const long most = type.mostOfName[first];
    if (most != kUnboundedOccurs && counts_[first] > most && first < tooMany) tooMany = first;
  }
  ContentProblem found;
  std::size_t foundAt = type.members.size();
  for (const SchemaType::NameBounds& bounds : type.requiredNames) {
    if (bounds.first >= tooMany) break;
    if (ContentProblem problem = tooFew(type, bounds)) {
      found = std::move(problem);
      foundAt = bounds.first;
      break;
    }
  }
  if (!found && tooMany < type.members.size()) {
    found = {&type.members[tooMany], "given " + times(counts_[tooMany]) + ", at most " +
                                         std::to_string(type.mostOfName[tooMany]) + " allowed"};
    foundAt = tooMany;
  }
  for (const std::size_t c : type.countedChoices) {
    const SchemaType::Choice& choice = type.choices[c];
    if (choice.slots.front().member >= foundAt) continue;
    if (ContentProblem problem = choiceProblem(type, choice)) {
      found = std::move(problem);
      foundAt = choice.slots.front().member;
    }
  }
  return found;
}

bool isNilAttribute(const ZelWstring& name, const ZelWstring& namespaceUri, const PWFData& value) {
  if (name.view() != u"@nil" || namespaceUri.view() != u"http://www.w3.org/2001/XMLSchema-instance") return false;
  if (value.getDataLogicalType() == eLogicalBoolean) return value.getBooleanValue();
  if (value.isNull() || value.isNothing() || value.getDataLogicalType() != eLogicalString) return false;
  std::u16string_view text = value.getText().view();
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text == u"true" || text == u"1";
}

std::string treeNameOf(const SchemaView& view, const TreeElement& element) {
  if (const SchemaMember* member = view.memberOf(element)) return (member->isAttribute ? "@" : "") + member->name;
  if (element.getTagIndex() >= 0) {
    if (const SchemaElement* global = view.element(element.getTagIndex()))
      return (global->isAttribute ? "@" : "") + global->name;
  }
  return toUtf8(element.getName().view());  // self-defining: "@name" for an attribute
}

std::string treePathOf(const TreeElement& element, FunctionRef<std::string(const TreeElement&)> nameOf) {
  std::string path;
  for (const TreeElement* at = &element; at; at = at->getParent()) {
    const std::string name = nameOf(*at);
    std::size_t index = 0;
    bool shared = false;
    if (const TreeElement* parent = at->getParent()) {
      for (const TreeElement* sibling = parent->getFirstChild(); sibling; sibling = sibling->getNextSibling()) {
        if (sibling == at) {
          index = 0;
          for (const TreeElement* before = parent->getFirstChild(); before != at; before = before->getNextSibling())
            if (nameOf(*before) == name) ++index;
        } else if (nameOf(*sibling) == name) {
          shared = true;
        }
      }
    }
    path.insert(0, "/" + name + (shared ? "[" + std::to_string(index + 1) + "]" : ""));
  }
  return path;
}

std::string treePathOf(const SchemaView& view, const TreeElement& element) {
  return treePathOf(element, [&view](const TreeElement& e) { return treeNameOf(view, e); });
}

void ContentCheck::checkTree(const MessageTree& tree) {
  const TreeElement* element = tree.getRoot();
  while (element) {
    if (const SchemaType* type = view_.typeOf(*element); type && type->isComplex) {
      if (const ContentProblem problem = check(*element, *type)) {
        const SchemaMember& member = *problem.member;
        throwError(__FILE__, __LINE__, "Session::write", ZelMessages::CP_INVALID_CONTENT,
                   {treePathOf(view_, *element) + "/" + (member.isAttribute ? "@" : "") + member.name, problem.what});
      }
    }
    element = nextInDocumentOrder(*element);
  }
}

bool isAnonymous(const TreeElement& element) {
  return element.getTagId() < 0 && element.getMemberId() < 1 && element.getName().empty();
}

TreeElement* nextInDocumentOrder(const TreeElement& element) {
  if (element.getFirstChild()) return element.getFirstChild();
  const TreeElement* at = &element;
  while (at && !at->getNextSibling()) at = at->getParent();
  return at ? at->getNextSibling() : nullptr;
}

}  // namespace wfxml::detail
