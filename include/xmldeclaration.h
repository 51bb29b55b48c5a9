#ifndef XMLDECLARATION_H
#define XMLDECLARATION_H

#include "zelapi.h"

#include <optional>
#include <string_view>

// The value of the encoding pseudo-attribute in the text of an XML
// declaration (from "<?xml" up to its "?>"); nullopt when the declaration
// names no encoding or gives it no quoted value.
ZEL_API std::optional<std::string_view> declaredEncoding(std::string_view declaration);

#endif
