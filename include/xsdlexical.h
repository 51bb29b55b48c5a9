#ifndef XSDLEXICAL_H
#define XSDLEXICAL_H

// The lexical spaces of XML Schema's built-in simple types: which texts are
// values of a type. A union's value belongs to the first member type whose
// lexical space takes its text, so the conversions, which are lenient (a
// boolean of any number, a date of any of the date forms), cannot decide it.

#include "zelapi.h"

#include <cstdint>
#include <string_view>

// The built-in type a type derives from; None when it derives from none the
// dictionary names (a message set's own type), which takes any text.
enum class XsdBuiltin : std::uint8_t {
  None,
  String, NormalizedString, Token, Language, Name, NCName, NMToken, Id, IdRef, Entity, AnyUri, QName, Notation,
  AnySimpleType,
  Boolean,
  Decimal, Integer, NonPositiveInteger, NegativeInteger, NonNegativeInteger, PositiveInteger, UnsignedLong, Long,
  Int, Short, Byte, UnsignedInt, UnsignedShort, UnsignedByte,
  Double, Float,
  Duration, DateTime, Date, Time, GYearMonth, GYear, GMonthDay, GDay, GMonth,
  HexBinary, Base64Binary,
};

// Whether the type's values are whole numbers (xs:integer and the types
// restricting it).
constexpr bool isXsdIntegerType(XsdBuiltin type) {
  return type >= XsdBuiltin::Integer && type <= XsdBuiltin::UnsignedByte;
}

// The built-in type of that local name (of the XML Schema namespace); None
// for any other name.
ZEL_API XsdBuiltin xsdBuiltinNamed(std::u16string_view name);

// Whether an element or attribute may have the name in a document the
// parser reads: an XML name (an NCName where namespaces are read), by XML
// 1.0's fifth edition, which takes characters beyond U+FFFF too.
ZEL_API bool isXmlName(std::u16string_view name, bool withNamespaces);

// Whether text, after the type's whitespace rule, is in the lexical space
// of the built-in type (always for None).
ZEL_API bool isXsdLexicalForm(XsdBuiltin type, std::u16string_view text);

// Whether text is a gMonth in the form --MM-- (XML Schema 1.0 as first
// published), which the writer spells --MM: such a value keeps its text.
ZEL_API bool isFirstGMonthForm(std::u16string_view text);

#endif
