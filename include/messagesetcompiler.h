#ifndef MESSAGESETCOMPILER_H
#define MESSAGESETCOMPILER_H

#include "messageset.h"
#include "zelapi.h"

#include <memory>
#include <string>
#include <vector>

class StdDictionaryInfo;

// Compiles a message set into the host's standard dictionary tables, with the
// XML properties as property tables under the wire-format name "XML".
//
// The dictionary is laid out as the XML descriptor loads it: one table ahead
// of the fourteen standard tables (the element-name index, created empty;
// the descriptor fills it when it loads the dictionary). What the compiler
// assigns:
// - ids: every tag, type and member ID is its row number plus 1;
// - types: one row per entry of set.types, in order; predefined types sit in
//   the XML Schema namespace when namespaces are enabled (the namespace is
//   appended to the namespace table when the set does not declare it);
// - tags: the global elements in order, then one tag per local element,
//   which has no XML name of its own (so that only its type finds it);
// - members: the members of each type in type order; a union first gets one
//   nameless member per member type, and a type extending a complex type
//   first repeats its base type's members;
// - messages: one row per element of class Message.
// Defaults that the model leaves open are applied as messageset.h documents
// them.
//
// A model whose references point outside its vectors, or whose types form a
// cycle, raises ZelFatalException CP_DICTIONARY_SOURCE_ERROR with the
// inserts sourceName, the place ("types[2].baseType") and what is wrong.
// sourceName is also recorded in the dictionary's identification.
ZEL_API std::unique_ptr<StdDictionaryInfo> compileMessageSet(const msgset::MessageSet& set,
                                                            const std::string& sourceName);

// The compiled dictionary in the serialized form that the descriptor's
// FromExtractFormat loads (dictformat.h).
ZEL_API std::vector<unsigned char> compileMessageSetToExtract(const msgset::MessageSet& set,
                                                              const std::string& sourceName);

#endif
