#include "characterclasses.h"

#include <xercesc/util/regx/RangeToken.hpp>
#include <xercesc/util/regx/RangeTokenMap.hpp>
#include <xercesc/util/regx/TokenFactory.hpp>
#include <xercesc/validators/datatype/DatatypeValidator.hpp>
#include <xercesc/validators/datatype/DatatypeValidatorFactory.hpp>

#include <cstddef>
#include <string>

namespace {

using xercesc::RangeToken;

struct Range {
  XMLInt32 first;
  XMLInt32 last;
};

constexpr Range kDigits[] = {
    {0x30, 0x39},     {0x660, 0x669},   {0x6F0, 0x6F9},   {0x966, 0x96F},   {0x9E6, 0x9EF},   {0xA66, 0xA6F},
    {0xAE6, 0xAEF},   {0xB66, 0xB6F},   {0xBE7, 0xBEF},   {0xC66, 0xC6F},   {0xCE6, 0xCEF},   {0xD66, 0xD6F},
    {0xE50, 0xE59},   {0xED0, 0xED9},   {0xF20, 0xF29},   {0x1040, 0x1049}, {0x1369, 0x1371}, {0x17E0, 0x17E9},
    {0x1810, 0x1819}, {0xFF10, 0xFF19}, {0x1D7CE, 0x1D7FF}};
constexpr Range kNameStartChars[] = {
    {':', ':'},       {'A', 'Z'},       {'_', '_'},       {'a', 'z'},       {0xC0, 0xD6},     {0xD8, 0xF6},
    {0xF8, 0x2FF},    {0x370, 0x37D},   {0x37F, 0x1FFF},  {0x200C, 0x200D}, {0x2070, 0x218F}, {0x2C00, 0x2FEF},
    {0x3001, 0xD7FF}, {0xF900, 0xFDCF}, {0xFDF0, 0xFFFD}, {0x10000, 0xEFFFF}};
constexpr Range kNameCharsBeyondStart[] = {{'-', '.'}, {'0', '9'}, {0xB7, 0xB7}, {0x300, 0x36F}, {0x203F, 0x2040}};
constexpr Range kPrivateUse[] = {{0xE000, 0xF8FF}};

// Xerces-C's own digits stop at U+FFFF.
constexpr XMLInt32 kDigitBeyondXercesTables = 0x1D7CE;

class SharedClasses {
public:
  SharedClasses() : map_(*xercesc::RangeTokenMap::instance()), tokens_(*map_.getTokenFactory()) {}

  // A library started anew (Terminate, then Initialize) has Xerces-C's
  // tables again, perhaps at the old addresses: what tells is a digit.
  static bool areOurs() {
    return xercesc::TokenFactory::staticGetRange(u"Nd")->match(kDigitBeyondXercesTables);
  }

  // Under the names Xerces-C's parser looks the classes up by.
  void replace() {
    share(u"Nd", made(kDigits));
    share(u"xml:isInitialNameChar", made(kNameStartChars));
    share(u"xml:isNameChar", made(kNameStartChars, kNameCharsBeyondStart));
    share(u"IsPrivateUse", made(kPrivateUse));
  }

private:
  // The map's token factory owns what it makes: the tokens go with the map.
  template <std::size_t... N>
  RangeToken& made(const Range (&... tables)[N]) {
    RangeToken& token = *tokens_.createRange();
    const auto add = [&token](const auto& table) {
      for (const Range& range : table) token.addRange(range.first, range.last);
    };
    (add(tables), ...);
    return token;
  }

  // The class and its complement, each with its lookup table built now, so
  // that matching only reads them.
  void share(const char16_t* name, RangeToken& token) {
    token.sortRanges();
    token.compactRanges();
    token.createMap();
    RangeToken* const complement = RangeToken::complementRanges(&token, &tokens_);
    complement->createMap();
    map_.setRangeToken(name, &token);
    map_.setRangeToken(name, complement, true);
  }

  xercesc::RangeTokenMap& map_;
  xercesc::TokenFactory& tokens_;
};

// The built-in types' patterns (NMTOKEN's \c+) are parsed when the library
// starts, with the classes it had then: parsed again, they take the ones now
// shared.
class BuiltInPatterns : public xercesc::DatatypeValidator {
public:
  static void parseAgain() {
    xercesc::RefHashTableOf<xercesc::DatatypeValidator>* const types =
        xercesc::DatatypeValidatorFactory::getBuiltInRegistry();
    if (!types) return;
    for (xercesc::RefHashTableOfEnumerator<xercesc::DatatypeValidator> each(types); each.hasMoreElements();) {
      xercesc::DatatypeValidator& type = each.nextElement();
      if (const XMLCh* const pattern = (type.*(&BuiltInPatterns::getPattern))()) {
        const std::u16string copy(pattern);  // setPattern frees the one it replaces
        (type.*(&BuiltInPatterns::setPattern))(copy.c_str());
      }
    }
  }
};

}  // namespace

void useSchemaCharacterClasses() {
  if (SharedClasses::areOurs()) return;
  SharedClasses().replace();
  BuiltInPatterns::parseAgain();
}
