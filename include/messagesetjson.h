#ifndef MESSAGESETJSON_H
#define MESSAGESETJSON_H

#include "messageset.h"
#include "zelapi.h"

#include <string>
#include <string_view>

// Reading a message set from its JSON source (docs/message-set-source.md).
// The text may hold // and /* */ comments.
//
// Every fault of the source raises ZelFatalException
// CP_DICTIONARY_SOURCE_ERROR with three inserts: the source name, the place
// (a JSON path such as "types[3].members[1].render", or "line L, column C"
// for a syntax error) and what is wrong there (an unknown field, a wrong
// value type, an unknown or ambiguous name, a duplicate name, a bad
// enumeration value, a field given twice in one object, a cycle of types).
// Nothing is read past the first fault.

// Parses source text; sourceName only names it in errors.
ZEL_API msgset::MessageSet parseMessageSetJson(std::string_view text, const std::string& sourceName);

// Message-set XML properties from a JSON object with the fields of a
// source's "properties", applied over base (fields not named keep base's
// values). For sources that take their types from elsewhere and only their
// XML properties from JSON. Errors as above, with paths such as
// "booleanTrueValue".
ZEL_API msgset::MessageSetXmlProperties parseMessageSetPropertiesJson(std::string_view text,
                                                                      const std::string& sourceName,
                                                                      const msgset::MessageSetXmlProperties& base);

// Reads and parses a file. A file that cannot be read raises
// ZelFatalException CP_IO_ERROR (inserts: the path, the reason).
ZEL_API msgset::MessageSet readMessageSetJsonFile(const std::string& path);

#endif
