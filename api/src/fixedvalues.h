#ifndef WFXML_SRC_FIXEDVALUES_H
#define WFXML_SRC_FIXEDVALUES_H

// Values pinned by a fixed value constraint, written in the schema's own
// spelling. Typed data carry a value, not its text, and the writer spells
// values its own way (hexadecimal digits in upper case, booleans as
// true/false, floats in their shortest form); Xerces-C compares a fixed
// value of some types as text (hexBinary, base64Binary) and a union's by
// the member type its text selects, so a value equal to the fixed one
// could be written in a form the validator refuses.

class MessageTree;

namespace wfxml::detail {

class SchemaView;

// Gives each value of an element or attribute with a fixed value (each
// item of a list) that equals it, as typed data take it, the fixed text as
// its lexical form. Values that differ are left as they are.
void spellFixedValues(const SchemaView& view, MessageTree& tree);

}  // namespace wfxml::detail

#endif
