#ifndef WFXML_SRC_UNWRITABLECHARACTER_H
#define WFXML_SRC_UNWRITABLECHARACTER_H

// A character XML 1.0 cannot carry (C0 controls but tab and line ends,
// U+FFFE, U+FFFF, half of a surrogate pair), refused alike wherever a value
// comes from: typed data (the JSON path names it) and message trees (the
// tree path). The writer refuses it with its code and its offset in the text
// written, but not which text that is.

#include <cstddef>
#include <string>

class MessageTree;
class ZelException;

namespace wfxml::detail {

class SchemaView;

// "XML 1.0 cannot carry U+0001 (a control character), character 3 of the
// value": what is refused, and where in the text (from 1, in characters).
std::string unwritableCharacterReason(char32_t code, std::size_t character, const char* ofWhat,
                                      const char* version = "1.0");

// Whether e is the writer's refusal of such a character.
bool isUnwritableCharacter(const ZelException& e);

// Gives the writer's refusal e the reason above and the place of the first
// value of tree, in document order, that holds the character: its tree path
// ("/Payment/Creditor/Name"; view names the defined elements, where there
// is one). Where no value holds it (a name, say), the reason alone.
void placeUnwritableCharacter(const MessageTree& tree, const SchemaView* view, ZelException& e);

}  // namespace wfxml::detail

#endif
