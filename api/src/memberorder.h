#ifndef WFXML_SRC_MEMBERORDER_H
#define WFXML_SRC_MEMBERORDER_H

// The order in which typed data becomes a type's elements: the writer of
// typed data asks it whether keys would give a document's elements back in
// their order, the builder writes by it. Slots hold what goes to each
// member, by the member's position in the type; the occurrences of a name
// that several members share are first put at the last of them.

#include "schemaview.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace wfxml::detail {

// The members of one name from first to last, when no two of them are
// alternatives, share its occurrences in order: each takes as many as it may
// have while leaving the later ones what they need. False, sharing nothing,
// when some are alternatives.
template <typename Slot>
bool shareInSequence(const SchemaType& type, std::size_t first, std::size_t last,
                     std::vector<std::vector<Slot>>& byMember) {
  std::vector<std::size_t> sharing;
  for (std::size_t i = first; i <= last; ++i) {
    if (type.members[i].firstOfName != first) continue;
    for (const std::size_t earlier : sharing)
      if (!type.members[i].mayStandWith(type.members[earlier])) return false;
    sharing.push_back(i);
  }
  std::vector<Slot> occurrences = std::move(byMember[last]);
  byMember[last].clear();
  std::size_t next = 0;
  for (std::size_t k = 0; k < sharing.size(); ++k) {
    long laterNeed = 0;
    for (std::size_t j = k + 1; j < sharing.size(); ++j) laterNeed += type.members[sharing[j]].minOccurs;
    const SchemaMember& member = type.members[sharing[k]];
    const std::size_t left = occurrences.size() - next;
    std::size_t take = left > static_cast<std::size_t>(laterNeed) ? left - laterNeed : 0;
    if (member.maxOccurs != kUnboundedOccurs) take = std::min(take, static_cast<std::size_t>(member.maxOccurs));
    if (k + 1 == sharing.size()) take = left;  // more than all may hold: the check names them
    for (std::size_t i = 0; i < take; ++i) byMember[sharing[k]].push_back(std::move(occurrences[next++]));
  }
  return true;
}

// Members that may all stand together (a group used twice) share a name's
// occurrences in sequence. Otherwise (the branches of a choice) they move to
// the member that can stand with most of the members present (ties: the
// later one), since the data cannot say which branch they came from.
template <typename Slot>
void placeSharedNames(const SchemaType& type, std::vector<std::vector<Slot>>& byMember) {
  for (std::size_t last = 0; last < type.members.size(); ++last) {
    const SchemaMember& shared = type.members[last];
    if (byMember[last].empty() || shared.lastOfName != last || shared.firstOfName == last) continue;
    if (shareInSequence(type, shared.firstOfName, last, byMember)) continue;
    std::size_t best = last;
    int bestScore = -1;
    for (std::size_t candidate = shared.firstOfName; candidate <= last; ++candidate) {
      if (type.members[candidate].firstOfName != shared.firstOfName) continue;
      int score = 0;
      for (std::size_t other = 0; other < type.members.size(); ++other) {
        const bool present = !byMember[other].empty() && type.members[other].firstOfName != shared.firstOfName;
        if (present && type.members[candidate].mayStandWith(type.members[other])) ++score;
      }
      if (score >= bestScore) {
        best = candidate;
        bestScore = score;
      }
    }
    if (best == last) continue;
    byMember[best] = std::move(byMember[last]);
    byMember[last].clear();
  }
}

// Calls visit(member, slot) for the elements in the order they are written:
// the type's members in their order, a repeating group's members in turns
// from its first member's place, and extras() (content a wildcard admits)
// where the wildcard stands, else at the end.
template <typename Slot, typename Visit, typename Extras>
void inWriteOrder(const SchemaType& type, const std::vector<std::vector<Slot>>& byMember, Visit&& visit,
                  Extras&& extras) {
  bool extrasDone = false;
  for (std::size_t i = 0; i < type.members.size(); ++i) {
    if (type.hasWildcard && !extrasDone && i == type.wildcardPosition) {
      extras();
      extrasDone = true;
    }
    const SchemaMember& member = type.members[i];
    if (member.isAttribute || member.turnStart != i) continue;  // later members of a group: in its turns
    if (member.group < 0) {
      for (const Slot& slot : byMember[i]) visit(member, slot);
      continue;
    }
    for (std::size_t round = 0;; ++round) {
      bool any = false;
      for (std::size_t j = i; j < type.members.size(); ++j) {
        const SchemaMember& turn = type.members[j];
        if (turn.isAttribute || turn.group != member.group || round >= byMember[j].size()) continue;
        any = true;
        visit(turn, byMember[j][round]);
      }
      if (!any) break;
    }
  }
  if (!extrasDone) extras();
}

}  // namespace wfxml::detail

#endif
