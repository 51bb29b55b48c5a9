#include "schemadocument.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {
constexpr std::string_view kFileScheme = "file://";

bool hasScheme(const std::string& location) {
  const std::size_t colon = location.find("://");
  return colon != std::string::npos && colon > 1 &&
         std::all_of(location.begin(), location.begin() + static_cast<std::ptrdiff_t>(colon),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '.' || c == '-'; });
}

std::string withoutFileScheme(const std::string& location) {
  return location.compare(0, kFileScheme.size(), kFileScheme) == 0 ? location.substr(kFileScheme.size()) : location;
}
}  // namespace

bool isNetworkLocation(const std::string& location) {
  return hasScheme(location) && location.compare(0, kFileScheme.size(), kFileScheme) != 0;
}

std::string resolveSchemaLocation(const std::string& referrer, const std::string& location) {
  if (isNetworkLocation(location)) return location;
  namespace fs = std::filesystem;
  fs::path path(withoutFileScheme(location));
  if (path.is_relative() && !referrer.empty()) {
    if (isNetworkLocation(referrer)) return referrer.substr(0, referrer.rfind('/') + 1) + location;
    path = fs::path(withoutFileScheme(referrer)).parent_path() / path;
  }
  std::error_code ignored;
  const fs::path absolute = fs::absolute(path, ignored);
  return (absolute.empty() ? path : absolute).lexically_normal().string();
}
