#ifndef SCHEMAREWRITE_H
#define SCHEMAREWRITE_H

// Equivalent spellings for schema constructs that XML Schema 1.0 allows but
// Xerces-C refuses, put in before a schema document is handed to it.

#include <string>
#include <string_view>
#include <vector>

// The regular expression with a '\' before every hyphen that stands for
// itself in a character class ("[+-]" becomes "[+\-]", "[-]" "[\-]",
// "[a-z--[b]]" "[a-z\--[b]]"); ranges and subtractions stay.
std::string escapeLiteralHyphens(std::string_view regex);

// The schema document's text (UTF-16 and UTF-32 made UTF-8 first; other
// encodings that are not ASCII-compatible pass unchanged) with the pattern
// facets' hyphens escaped, maxOccurs values above 2^31 - 1, which no
// document can reach, read as unbounded, and the document type's external
// identifier left out (its external DTD subset is not read). notes gets a
// line for each maxOccurs changed.
std::string rewriteForSchemaReader(std::string text, std::vector<std::string>& notes);

// The schema document's text (ASCII-compatible, as above) with reference (a
// URI reference, written as it stands but for XML's escapes) as the
// schemaLocation of each import of importedNamespace ("" for no namespace)
// that names none.
std::string withImportLocated(std::string text, std::string_view importedNamespace, std::string_view reference);

// Text as an attribute value in either quotes: & < " ' as references.
std::string escapedForAttribute(std::string_view text);

#endif
