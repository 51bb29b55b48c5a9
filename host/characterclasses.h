#ifndef CHARACTERCLASSES_H
#define CHARACTERCLASSES_H

// Gives the character classes that every pattern of the process shares the
// tables XML Schema's patterns are read with, in place of Xerces-C's own:
// \d and \p{Nd} Unicode 3.1's decimal digits (Ethiopic digits and the
// mathematical digits are digits, the Tamil zero is not), \i and \c the name
// characters of XML 1.0 Fifth Edition, \p{IsPrivateUse} the block
// U+E000..U+F8FF alone; their complements (\D, \I, \C, \P{..}) follow. Once
// per start of the library, before any expression is parsed (an expression
// holds the classes it was parsed with); later calls only look.
// startXmlLibraryForProcess calls it under its lock.
void useSchemaCharacterClasses();

#endif
