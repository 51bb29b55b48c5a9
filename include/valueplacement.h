#ifndef VALUEPLACEMENT_H
#define VALUEPLACEMENT_H

#include "elementkinds.h"

// Where a data event's value goes in the element open for it, the rule every
// builder of message trees follows.
struct ValuePlacement {
  bool splitsLoneValue = false;  // the element's lone typed value first moves to its first item
  bool listItem = false;         // the value is an item of a list
  bool onElement = false;        // the element's own value, not an anonymous child's
};

// The element's state before the value: its kind, its list item type and its
// value's type (-1: none), whether it has a value or children, the value type
// of its last child where that child is an anonymous value (-1: none or
// another child); then the data event's item and list type indexes.
constexpr ValuePlacement placeValue(std::uint16_t kind, long itemTypeIndex, long valueTypeIndex, bool hasValue,
                                    bool hasChildren, long lastValueTypeIndex, long dataItemTypeIndex,
                                    long dataListTypeIndex) {
  const bool typed = dataItemTypeIndex >= 0;
  ValuePlacement place;
  place.listItem = typed && (dataListTypeIndex >= 0 || kind == eKindList || itemTypeIndex >= 0);
  // An element of a complex type whose simple content is a list holds its
  // items in anonymous children: a typed value right after another one is
  // the next item of the list (a union's value comes alone).
  place.listItem = place.listItem || (typed && !holdsOwnValue(kind) && lastValueTypeIndex >= 0);
  // A lone typed value looks like a union value; a second one shows that
  // both are items of a list (an element typed as a list by xsi:type).
  place.splitsLoneValue = typed && !place.listItem && valueTypeIndex >= 0 && hasValue && !hasChildren;
  place.listItem = place.listItem || place.splitsLoneValue;
  place.onElement = !place.listItem && holdsOwnValue(kind) && !hasValue && !hasChildren;
  return place;
}

// The value type of an element's last child where that child is an
// anonymous value (no tag, member or name), else -1: placeValue's
// lastValueTypeIndex, for the tree's elements and the recorder's alike.
template <class Element>
long lastValueTypeIndex(const Element* last) {
  const bool anonymous = last && last->getTagId() < 0 && last->getMemberId() < 1 && last->getName().empty();
  return anonymous ? last->getValueTypeIndex() : -1;
}

#endif
