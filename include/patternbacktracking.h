#ifndef PATTERNBACKTRACKING_H
#define PATTERNBACKTRACKING_H

// Xerces-C matches a pattern facet by backtracking, which two shapes of
// pattern make unbounded: a part repeated without bound that matches the
// empty text recurses until the stack overflows ("(a*)*b"), and one that can
// match a text in more than one way doubles the time with each character of a
// value that does not match ("(a|a)*b", "(a+)+b"). A repetition that ends the
// pattern (or the part of such a repetition) it matches without backtracking:
// "(a|a)*" and "(a*)*" cost a pass. Any other pattern costs at most a power of
// the value's length.

#include "zelapi.h"

#include <xercesc/util/XercesDefs.hpp>

#include <string>
#include <string_view>

XERCES_CPP_NAMESPACE_BEGIN
class RegularExpression;
class Token;
XERCES_CPP_NAMESPACE_END

// The parsed form of a compiled expression, which Xerces-C keeps for its
// subclasses.
ZEL_API const xercesc::Token* patternTokenTree(const xercesc::RegularExpression& expression);

// Why Xerces-C's matcher may not end, or end only after a time exponential in
// the value's length, on some value, for a pattern in XML Schema's syntax;
// empty when it ends in polynomial time, and for a pattern Xerces-C cannot read
// (its own refusal says why).
ZEL_API std::string unboundedPatternMatch(std::u16string_view pattern);
// The same for an expression compiled already.
ZEL_API std::string unboundedExpressionMatch(const xercesc::RegularExpression& expression);

#endif
