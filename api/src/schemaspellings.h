#ifndef WFXML_SRC_SCHEMASPELLINGS_H
#define WFXML_SRC_SCHEMASPELLINGS_H

// Values written in the schema's own spelling where Xerces-C compares the
// text. Typed data carry a value, not its text, and the writer spells values
// its own way (hexadecimal digits in upper case, booleans as true/false,
// floats in their shortest form); Xerces-C compares a fixed value of some
// types as text (hexBinary, base64Binary) and a union's by the member type
// its text selects, and a hexBinary enumeration as text, so a value equal to
// the schema's could be written in a form the validator refuses. A pattern
// facet may likewise take only other spellings of a boolean, number or
// hexBinary than the writer's ("1|0", an exponent, two decimals, lower case).

class MessageTree;

namespace wfxml::detail {

class SchemaView;

// Gives each value of an element or attribute with a fixed value (each item
// of a list) that equals it, as typed data take it, the fixed text as its
// lexical form; and each hexBinary value its type's enumeration lists, that
// member's text; and each boolean, number or hexBinary whose type's patterns refuse
// the writer's spelling, a spelling of the same value they take. Other
// values are left as they are.
void spellAsTheSchemaDoes(const SchemaView& view, MessageTree& tree);

}  // namespace wfxml::detail

#endif
