#include "unwritablecharacter.h"

#include "contentcheck.h"
#include "messagetree.h"
#include "pwfdata.h"
#include "zelexception.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace wfxml::detail {
namespace {

// The first insert of the writer's refusal; the second is "U+XXXX", the
// third the offset in units of the text written.
constexpr std::string_view kRefusal = "XML 1.0 cannot carry the character";

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

const char* kindOf(char32_t code) {
  if (code < 0x20) return "a control character";
  if (code >= 0xD800 && code <= 0xDFFF) return "half of a surrogate pair";
  return "a noncharacter";
}

// Where text holds unit on its own (a surrogate not in a pair): the
// position of its character, from 1.
std::optional<std::size_t> characterOf(std::u16string_view text, char16_t unit) {
  std::size_t character = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    ++character;
    const bool paired = isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1]);
    if (paired) {
      ++i;
      continue;
    }
    if (text[i] == unit) return character;
  }
  return std::nullopt;
}

// The text a writer writes of the value: the text it was read from where
// it keeps one, else its own (strings, decimals, untyped text).
std::u16string_view textWritten(const PWFData& value) {
  if (const ZelWstring* lexical = value.getLexicalForm()) return lexical->view();
  if (value.isNull() || value.isNothing()) return {};
  const ELogicalType type = value.getDataLogicalType();
  if (type != eLogicalString && type != eLogicalDecimal && type != eLogicalNone) return {};
  return value.getText().view();
}

std::string pathOf(const MessageTree& tree, const SchemaView* view, const TreeElement& element) {
  if (view) return treePathOf(*view, element);
  return treePathOf(element, [&tree](const TreeElement& e) { return tree.displayName(e).toUtf8(); });
}

}  // namespace

std::string unwritableCharacterReason(char32_t code, std::size_t character, const char* ofWhat,
                                      const char* version) {
  char shown[16];
  std::snprintf(shown, sizeof shown, "U+%04X", static_cast<unsigned>(code));
  return std::string("XML ") + version + " cannot carry " + shown + " (" + kindOf(code) + "), character " +
         std::to_string(character) + " of " + ofWhat;
}

bool isUnwritableCharacter(const ZelException& e) {
  const std::vector<ZelInsert>& inserts = e.getInserts();
  return e.getMessageNumber() == ZelMessages::CP_CONVERSION_ERROR && inserts.size() == 3 &&
         inserts[0].toUtf8() == kRefusal && inserts[1].toUtf8().rfind("U+", 0) == 0;
}

void placeUnwritableCharacter(const MessageTree& tree, const SchemaView* view, ZelException& e) {
  const char16_t unit = static_cast<char16_t>(std::strtoul(e.getInserts()[1].toUtf8().c_str() + 2, nullptr, 16));
  for (const TreeElement* element = tree.getRoot(); element; element = nextInDocumentOrder(*element)) {
    const std::optional<std::size_t> character = characterOf(textWritten(element->getValue()), unit);
    if (!character) continue;
    // An anonymous value (a text run, a list item, simple content beside
    // attributes) is its element's.
    const TreeElement& named = isAnonymous(*element) && element->getParent() ? *element->getParent() : *element;
    ZelLocation location = e.location();
    location.path = pathOf(tree, view, named);
    e.setLocation(location);
    e.setSummary(unwritableCharacterReason(unit, *character, "the value"));
    return;
  }
  e.setSummary(std::string("XML 1.0 cannot carry ") + e.getInserts()[1].toUtf8() + " (" + kindOf(unit) + ")");
}

}  // namespace wfxml::detail
