#ifndef XMLDECLARATION_H
#define XMLDECLARATION_H

#include "zelapi.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The value of the encoding pseudo-attribute in the text of an XML
// declaration (from "<?xml" up to its "?>"); nullopt when the declaration
// names no encoding or gives it no quoted value.
ZEL_API std::optional<std::string_view> declaredEncoding(std::string_view declaration);

// The encoding a document's XML declaration names, the declaration read in
// ASCII (after a UTF-8 byte-order mark, if any) or, where the document starts
// with EBCDIC's "<?", in the EBCDIC tables that place its characters
// differently; nullopt without one.
ZEL_API std::optional<std::string> documentDeclaredEncoding(const void* bytes, std::size_t size);

#endif
