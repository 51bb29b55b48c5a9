#include "schemarewrite.h"

#include <cctype>
#include <string_view>
#include <utility>

namespace {

constexpr std::string_view kLargestOccurs = "2147483647";

// A hyphen that stands for itself in a character class: first in the class
// ("[-a]", "[^-a]"), last ("[a-]"), or last before a subtraction
// ("[a-z--[b]]"). XML Schema takes it so; Xerces-C wants it escaped.
bool isLiteralHyphen(std::string_view regex, std::size_t at, std::size_t classContentStart) {
  if (at == classContentStart) return true;
  if (at + 1 < regex.size() && regex[at + 1] == ']') return true;
  return at + 2 < regex.size() && regex[at + 1] == '-' && regex[at + 2] == '[';
}

// Where a tag's attribute value starts and ends (the quotes excluded);
// npos when the tag from start to its '>' has no such attribute. Only the
// tag is searched, so that the cost of a document stays its length.
std::pair<std::size_t, std::size_t> attributeValue(std::string_view text, std::size_t start, std::size_t end,
                                                   std::string_view name) {
  const std::string_view tag = text.substr(0, end);
  for (std::size_t at = tag.find(name, start); at != std::string_view::npos; at = tag.find(name, at + 1)) {
    if (!std::isspace(static_cast<unsigned char>(text[at - 1]))) continue;
    std::size_t i = at + name.size();
    while (i < end && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= end || text[i] != '=') continue;
    ++i;
    while (i < end && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= end || (text[i] != '"' && text[i] != '\'')) continue;
    const std::size_t close = tag.find(text[i], i + 1);
    if (close == std::string_view::npos) return {std::string_view::npos, 0};
    return {i + 1, close};
  }
  return {std::string_view::npos, 0};
}

bool isNumberAbove(std::string_view digits, std::string_view bound) {
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) return false;
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  return digits.size() > bound.size() || (digits.size() == bound.size() && digits > bound);
}

// The document type declaration's external identifier left out
// ("<!DOCTYPE xs:schema PUBLIC '...' 'XMLSchema.dtd' [...]>" becomes
// "<!DOCTYPE xs:schema [...]>"): a schema document's external DTD subset is
// not read, as xmllint reads none (Xerces-C's schema loader reads it, and
// keeps a declaration of it each time); the internal subset stays. Only the
// prolog is searched.
std::string withoutExternalSubset(std::string text) {
  std::size_t at = 0;
  const auto skipBlanks = [&text](std::size_t from) {
    while (from < text.size() && std::isspace(static_cast<unsigned char>(text[from]))) ++from;
    return from;
  };
  for (at = skipBlanks(at); text.compare(at, 2, "<?") == 0 || text.compare(at, 4, "<!--") == 0; at = skipBlanks(at)) {
    const bool comment = text[at + 1] == '!';
    const std::size_t end = text.find(comment ? "-->" : "?>", at + 2);
    if (end == std::string::npos) return text;
    at = end + (comment ? 3 : 2);
  }
  if (text.compare(at, 9, "<!DOCTYPE") != 0) return text;
  std::size_t nameEnd = skipBlanks(at + 9);
  while (nameEnd < text.size() && !std::isspace(static_cast<unsigned char>(text[nameEnd])) && text[nameEnd] != '[' &&
         text[nameEnd] != '>')
    ++nameEnd;
  std::size_t idEnd = skipBlanks(nameEnd);
  const bool isPublic = text.compare(idEnd, 6, "PUBLIC") == 0;
  if (!isPublic && text.compare(idEnd, 6, "SYSTEM") != 0) return text;
  idEnd += 6;
  for (int literals = isPublic ? 2 : 1; literals > 0; --literals) {
    idEnd = skipBlanks(idEnd);
    if (idEnd >= text.size() || (text[idEnd] != '"' && text[idEnd] != '\'')) return text;
    const std::size_t close = text.find(text[idEnd], idEnd + 1);
    if (close == std::string::npos) return text;
    idEnd = close + 1;
  }
  return text.erase(nameEnd, idEnd - nameEnd);
}

}  // namespace

std::string escapeLiteralHyphens(std::string_view regex) {
  std::string out;
  out.reserve(regex.size() + 4);
  int depth = 0;
  std::size_t classContentStart = std::string_view::npos;
  for (std::size_t i = 0; i < regex.size(); ++i) {
    const char c = regex[i];
    if (c == '\\' && i + 1 < regex.size()) {
      out += c;
      out += regex[++i];
      continue;
    }
    if (c == '[') {
      ++depth;
      classContentStart = i + 1 < regex.size() && regex[i + 1] == '^' ? i + 2 : i + 1;
    } else if (c == ']' && depth > 0) {
      --depth;
    } else if (c == '-' && depth > 0 && isLiteralHyphen(regex, i, classContentStart)) {
      out += "\\-";
      continue;
    }
    out += c;
  }
  return out;
}

std::string rewriteForSchemaReader(std::string text, std::vector<std::string>& notes) {
  text = withoutExternalSubset(std::move(text));
  std::string out;  // the text up to copied, with the values replaced
  std::size_t copied = 0;
  std::size_t tag = text.find('<');
  while (tag != std::string::npos) {
    const std::size_t end = text.find('>', tag);
    if (end == std::string::npos) break;
    std::size_t nameEnd = tag + 1;
    while (nameEnd < end && !std::isspace(static_cast<unsigned char>(text[nameEnd])) && text[nameEnd] != '/') ++nameEnd;
    std::string_view name(text.data() + tag + 1, nameEnd - tag - 1);
    if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);

    std::string replacement;
    std::pair<std::size_t, std::size_t> value{std::string_view::npos, 0};
    if (name == "pattern") {
      value = attributeValue(text, nameEnd, end, "value");
      if (value.first != std::string_view::npos) {
        const std::string_view regex(text.data() + value.first, value.second - value.first);
        replacement = escapeLiteralHyphens(regex);
        if (replacement == regex) value.first = std::string_view::npos;
      }
    } else if (name == "element" || name == "group" || name == "sequence" || name == "choice" || name == "any" ||
               name == "all") {
      value = attributeValue(text, nameEnd, end, "maxOccurs");
      if (value.first != std::string_view::npos) {
        const std::string_view number(text.data() + value.first, value.second - value.first);
        if (isNumberAbove(number, kLargestOccurs)) {
          notes.push_back("maxOccurs " + std::string(number) + " is read as unbounded");
          replacement = "unbounded";
        } else {
          value.first = std::string_view::npos;
        }
      }
    }
    if (value.first != std::string_view::npos) {
      out.append(text, copied, value.first - copied).append(replacement);
      copied = value.second;
    }
    tag = text.find('<', end);
  }
  if (copied == 0) return text;
  return out.append(text, copied, std::string::npos);
}

std::string withImportLocated(std::string text, std::string_view importedNamespace, std::string_view reference) {
  std::string attribute = " schemaLocation=\"";
  for (const char c : reference)
    attribute += c == '&' ? std::string("&amp;") : c == '"' ? std::string("&quot;") : c == '<' ? std::string("&lt;") : std::string(1, c);
  attribute += '"';
  for (std::size_t tag = text.find('<'); tag != std::string::npos; tag = text.find('<', tag + 1)) {
    const std::size_t end = text.find('>', tag);
    if (end == std::string::npos) break;
    std::size_t nameEnd = tag + 1;
    while (nameEnd < end && !std::isspace(static_cast<unsigned char>(text[nameEnd])) && text[nameEnd] != '/') ++nameEnd;
    std::string_view name(text.data() + tag + 1, nameEnd - tag - 1);
    if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);
    if (name != "import" || attributeValue(text, nameEnd, end, "schemaLocation").first != std::string_view::npos) continue;
    const auto [start, close] = attributeValue(text, nameEnd, end, "namespace");
    const std::string_view named = start == std::string_view::npos ? std::string_view() : std::string_view(text).substr(start, close - start);
    if (named != importedNamespace) continue;
    text.insert(nameEnd, attribute);
  }
  return text;
}
