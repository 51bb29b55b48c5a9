#include "xmldeclaration.h"

std::optional<std::string_view> declaredEncoding(std::string_view declaration) {
  const std::size_t key = declaration.find("encoding");
  if (key == std::string_view::npos) return std::nullopt;
  const std::size_t open = declaration.find_first_of("\"'", key);
  if (open == std::string_view::npos) return std::nullopt;
  const std::size_t close = declaration.find(declaration[open], open + 1);
  if (close == std::string_view::npos) return std::nullopt;
  return declaration.substr(open + 1, close - open - 1);
}
