#include "schemarewrite.h"

#include "icuconverter.h"
#include "xmldeclaration.h"

#include <unicode/ustring.h>

#include <cctype>
#include <optional>
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

// The local name of the start tag at `tag` (its '<'), which ends at `end`
// (its '>'), and where the name ends in text.
struct TagName {
  std::string_view local;
  std::size_t end;
};
TagName tagNameAt(std::string_view text, std::size_t tag, std::size_t end) {
  std::size_t nameEnd = tag + 1;
  while (nameEnd < end && !std::isspace(static_cast<unsigned char>(text[nameEnd])) && text[nameEnd] != '/') ++nameEnd;
  std::string_view name = text.substr(tag + 1, nameEnd - tag - 1);
  if (const std::size_t colon = name.find(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);
  return {name, nameEnd};
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

// The encoding of a document in UTF-16 or UTF-32, by its byte-order mark or
// its first characters as Xerces-C finds them ("<?" or "<" and three zero
// bytes), as ICU names it; null for any other.
const char* wideEncodingOf(std::string_view text) {
  static constexpr std::pair<std::string_view, const char*> kStarts[] = {
      {{"\xFF\xFE\0\0", 4}, "UTF-32LE"}, {{"\0\0\xFE\xFF", 4}, "UTF-32BE"}, {{"<\0\0\0", 4}, "UTF-32LE"},
      {{"\0\0\0<", 4}, "UTF-32BE"},         {{"\xFF\xFE", 2}, "UTF-16LE"},       {{"\xFE\xFF", 2}, "UTF-16BE"},
      {{"<\0?\0", 4}, "UTF-16LE"},           {{"\0<\0?", 4}, "UTF-16BE"}};
  for (const auto& [start, encoding] : kStarts)
    if (text.substr(0, start.size()) == start) return encoding;
  return nullptr;
}

// A document in UTF-16 or UTF-32 in UTF-8, without its byte-order mark, its
// XML declaration naming UTF-8 in as many characters (blanks after the value
// make up for a shorter name), so that every line and column stays. Others,
// and one that is not in its encoding throughout (the reader reports it), as
// they are.
std::string inUtf8IfWide(std::string text) {
  const char* encoding = wideEncodingOf(text);
  if (!encoding) return text;
  const IcuConverter converter = openIcuConverter(encoding);
  if (!converter) return text;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  std::u16string units(text.size(), u'\0');  // never fewer bytes than units
  const int32_t length = ucnv_toUChars(converter.get(), units.data(), static_cast<int32_t>(units.size()), text.data(),
                                       static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) return text;
  units.resize(static_cast<std::size_t>(length));
  if (!units.empty() && units.front() == u'\uFEFF') units.erase(0, 1);
  std::string utf8(units.size() * 3, '\0');
  int32_t written = 0;
  u_strToUTF8(utf8.data(), static_cast<int32_t>(utf8.size()), &written, units.data(), static_cast<int32_t>(units.size()),
              &status);
  if (U_FAILURE(status)) return text;
  utf8.resize(static_cast<std::size_t>(written));
  if (utf8.compare(0, 5, "<?xml") != 0 || utf8.size() < 6 || !std::isspace(static_cast<unsigned char>(utf8[5])))
    return utf8;
  const std::string_view declaration = std::string_view(utf8).substr(0, utf8.find("?>"));
  const std::optional<std::string_view> named = declaredEncoding(declaration);
  if (!named) return utf8;
  const std::size_t at = static_cast<std::size_t>(named->data() - utf8.data()), size = named->size();
  utf8.replace(at, size, "UTF-8");
  if (size > 5) utf8.insert(at + 6, size - 5, ' ');  // after the closing quote
  return utf8;
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
  text = withoutExternalSubset(inUtf8IfWide(std::move(text)));
  std::string out;  // the text up to copied, with the values replaced
  std::size_t copied = 0;
  std::size_t tag = text.find('<');
  while (tag != std::string::npos) {
    const std::size_t end = text.find('>', tag);
    if (end == std::string::npos) break;
    const auto [name, nameEnd] = tagNameAt(text, tag, end);
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
  const std::string attribute = " schemaLocation=\"" + escapedForAttribute(reference) + '"';
  for (std::size_t tag = text.find('<'); tag != std::string::npos; tag = text.find('<', tag + 1)) {
    const std::size_t end = text.find('>', tag);
    if (end == std::string::npos) break;
    const auto [name, nameEnd] = tagNameAt(text, tag, end);
    if (name != "import" || attributeValue(text, nameEnd, end, "schemaLocation").first != std::string_view::npos) continue;
    const auto [start, close] = attributeValue(text, nameEnd, end, "namespace");
    const std::string_view named = start == std::string_view::npos ? std::string_view() : std::string_view(text).substr(start, close - start);
    if (named != importedNamespace) continue;
    text.insert(nameEnd, attribute);
  }
  return text;
}

std::string escapedForAttribute(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&apos;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}
