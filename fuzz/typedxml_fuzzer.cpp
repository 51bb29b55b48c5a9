// Arbitrary bytes as a document of one message set (tests/data/typed), to
// typed JSON: the one-pass conversion gives what the parse into a message
// and its JSON give, or refuses as that parse does; the message element as
// a record is the whole document's JSON; and JSON that builds again writes a
// document that reads back to the same JSON and, where the original is
// valid, holds the same elements, attributes and values in the same
// namespaces, so that no value is lost or changed. Read without a dictionary,
// any document that parses must come back with every name and value too.
#include "typedsupport.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

std::string described(const wfxml::Error& e) { return e.key() + " " + e.what(); }

// A decimal's digits as its JSON number has them, which cannot keep a "+",
// leading zeros or a bare point (the value stays).
std::string asJsonNumber(std::string digits) {
  if (!digits.empty() && digits.front() == '+') digits.erase(0, 1);
  const std::size_t sign = !digits.empty() && digits.front() == '-' ? 1 : 0;
  if (digits.size() > sign && digits[sign] == '.') digits.insert(sign, "0");
  while (digits.size() > sign + 1 && digits[sign] == '0' && digits[sign + 1] != '.') digits.erase(sign, 1);
  if (!digits.empty() && digits.back() == '.') digits.pop_back();
  return digits;
}

// The QName values of the schema (typed-other.xsd): those of unit's members
// and attributes named here, list items included. They are compared by the
// namespace and local name their prefixes stand for in each document, since
// the writer may choose other prefixes.
constexpr std::string_view kUnit = "{urn:test:other}unit";
bool holdsQualifiedNames(std::string_view parent, std::string_view step) {
  static const std::vector<std::string_view> names = {"{}m", "{urn:test:other}v", "{urn:test:other}l",
                                                      "{urn:test:other}u", "@{}qa", "@{}ql"};
  return parent == kUnit && std::find(names.begin(), names.end(), step) != names.end();
}

std::string stepOf(const xmlNode& node, bool isAttribute) {
  const xmlNs* ns = node.ns;
  return std::string(isAttribute ? "@{" : "{") + (ns ? reinterpret_cast<const char*>(ns->href) : "") + "}" +
         reinterpret_cast<const char*>(node.name);
}

// Each item as {namespace}local through the bindings in scope at element;
// an item of xs:int (the union's other member) as it is.
std::string resolvedNames(const std::string& text, xmlDoc* document, xmlNode* element) {
  std::string resolved;
  std::size_t at = 0;
  while ((at = text.find_first_not_of(" \t\r\n", at)) != std::string::npos) {
    const std::size_t end = std::min(text.find_first_of(" \t\r\n", at), text.size());
    const std::string item = text.substr(at, end - at);
    at = end;
    const bool number = item.find_first_not_of("+-0123456789") == std::string::npos;
    const std::size_t colon = item.find(':');
    const std::string prefix = colon == std::string::npos ? "" : item.substr(0, colon);
    const xmlNs* ns = xmlSearchNs(document, element, prefix.empty() ? nullptr : reinterpret_cast<const xmlChar*>(prefix.c_str()));
    // Unprefixed without a default namespace: no namespace; an unbound prefix is marked.
    const std::string uri = ns ? reinterpret_cast<const char*>(ns->href) : prefix.empty() ? "" : "?" + prefix;
    resolved += " " + (number ? item : "{" + uri + "}" + item.substr(colon == std::string::npos ? 0 : colon + 1));
  }
  return resolved;
}

void addQualifiedNames(xmlDoc* document, xmlNode* element, const std::string& where, std::vector<std::string>& values) {
  const std::string own = stepOf(*element, false);
  const std::string path = where + "/" + own;
  // holder: the attribute or element holding the value; scope: where its prefixes are bound.
  const auto add = [&](const std::string& step, xmlNode* holder, xmlNode* scope) {
    xmlChar* text = xmlNodeGetContent(holder);
    values.push_back(path + "/" + step + "=" + resolvedNames(text ? reinterpret_cast<const char*>(text) : "", document, scope));
    xmlFree(text);
  };
  for (xmlAttr* attribute = element->properties; attribute; attribute = attribute->next) {
    const std::string step = stepOf(*reinterpret_cast<xmlNode*>(attribute), true);
    if (holdsQualifiedNames(own, step)) add(step, reinterpret_cast<xmlNode*>(attribute), element);
  }
  for (xmlNode* child = element->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    const std::string step = stepOf(*child, false);
    if (holdsQualifiedNames(own, step))
      add(step, child, child);
    else
      addQualifiedNames(document, child, path, values);
  }
}

// A document's QName values, resolved, sorted; none when libxml2 does not
// read it (it refuses bytes after the root element that the parse passes over).
std::optional<std::vector<std::string>> qualifiedNamesByPath(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> values;
  xmlDoc* document = xmlReadMemory(reinterpret_cast<const char*>(data), static_cast<int>(size), nullptr, nullptr,
                                   XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!document) return std::nullopt;
  if (xmlNode* root = xmlDocGetRootElement(document)) addQualifiedNames(document, root, "", values);
  xmlFreeDoc(document);
  std::sort(values.begin(), values.end());
  return values;
}

// Every value of a document but its QName values, with the names and
// namespaces of its element path, sorted: siblings may come back in the
// schema's order. Text that a comment or instruction cut into values side
// by side is one value, as it comes back.
std::vector<std::string> valuesByPath(wfxml::Session& session, const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> path;  // per depth
  std::vector<std::string> values;
  std::string lastText;  // the element whose text the last value was, while no element starts or ends
  const auto named = [](const wfxml::Event& e) {
    return (e.isAttribute ? "@{" : "{") + std::string(e.namespaceUri) + "}" + std::string(e.name);
  };
  session.parse(data, size, [&](const wfxml::Event& e) {
    if (e.kind != wfxml::EventKind::Value) lastText.clear();
    if (e.kind != wfxml::EventKind::StartElement && e.kind != wfxml::EventKind::Value) return;
    // The path keeps an element while its values come: its own at its
    // depth, anonymous ones a step deeper.
    const std::size_t depth = static_cast<std::size_t>(e.depth);
    if (e.kind == wfxml::EventKind::StartElement) path.resize(depth);
    if (e.kind == wfxml::EventKind::Value && path.size() > depth + 1) path.resize(depth + 1);
    if (path.size() < depth) path.resize(depth);
    std::string where;
    for (std::size_t i = 0; i < depth; ++i) where += "/" + path[i];
    if (e.kind == wfxml::EventKind::StartElement) {
      path.push_back(named(e));
    } else {
      const bool item = e.name.empty() && depth >= 2 && holdsQualifiedNames(path[depth - 2], path[depth - 1]);
      if (item || (depth >= 1 && holdsQualifiedNames(path[depth - 1], named(e)))) return;
      // The element the text is of: an element's own value or an anonymous one in it.
      const std::string owner = e.name.empty() ? where : where + "/" + named(e);
      const bool text = e.value.kind() == wfxml::ValueKind::String && !e.value.isNull();
      if (text && !lastText.empty() && lastText == owner) {
        values.back() += e.value.text();
        return;
      }
      const std::string key = where + "/" + (e.name.empty() ? "#text" : named(e)) + "=";
      values.push_back(key + (e.value.isNull()                             ? "nil"
                              : e.value.kind() == wfxml::ValueKind::Integer ? std::to_string(e.value.asInteger())
                              : e.value.kind() == wfxml::ValueKind::Decimal ? asJsonNumber(e.value.text())
                                                                            : e.value.text()));
      lastText = text ? owner : std::string();
    }
  });
  std::sort(values.begin(), values.end());
  return values;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Without a dictionary every document that parses converts, and comes back
// with every name and value.
void checkWithoutDictionary(const std::uint8_t* data, std::size_t size) {
  static const wfxml::MessageSet none = wfxml::MessageSet::none();
  wfxml::Session plain(none);
  std::string json;
  try {
    json = plain.toJson(data, size);
  } catch (const wfxml::Error&) {
    return;
  }
  std::vector<std::uint8_t> xml;
  try {
    xml = plain.write(plain.fromJson(json));
  } catch (const wfxml::Error& e) {
    finding("JSON of a document without dictionary does not come back", described(e) + "\n" + json);
  }
  const std::vector<std::string> before = valuesByPath(plain, data, size);
  const std::vector<std::string> after = valuesByPath(plain, xml.data(), xml.size());
  if (before != after)
    finding("a document without dictionary comes back with other values or names", joined(before) + "\n" + joined(after));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  checkWithoutDictionary(data, size);
  wfxml::Session session(typedSet());
  std::optional<std::string> direct;
  std::optional<wfxml::Error> directError;
  try {
    direct = session.toJson(data, size);
  } catch (const wfxml::Error& e) {
    directError = e;
  }
  std::string viaMessage;
  try {
    viaMessage = session.toJson(session.parse(data, size));
  } catch (const wfxml::Error& e) {
    if (!directError) finding("only the parse into a message refuses", described(e));
    if (described(e) != described(*directError))
      finding("the two conversions refuse differently", described(e) + "\n" + described(*directError));
    return 0;
  }
  if (!direct) finding("only the one-pass conversion refuses", described(*directError) + "\n" + viaMessage);
  if (*direct != viaMessage) finding("the two conversions differ", *direct + "\n" + viaMessage);

  if (direct->rfind("{\"order\":", 0) == 0) {
    std::vector<std::string> records;
    session.toJsonRecords(data, size, "/order", [&](std::string_view json) { records.emplace_back(json); });
    if (records != std::vector<std::string>{*direct}) finding("the message element as a record differs", *direct);
  }

  // What the schema forbids may be refused (the parse reads what the
  // schema's tables allow); what builds must come back unchanged.
  std::optional<wfxml::Message> built;
  try {
    built.emplace(session.fromJson(*direct));
  } catch (const wfxml::Error& e) {
    if (e.key() != "CP_JSON_MISMATCH") finding("the JSON is refused without naming its path", described(e) + "\n" + *direct);
    return 0;
  }
  std::vector<std::uint8_t> xml;
  try {
    xml = session.write(*built);
  } catch (const wfxml::Error& e) {
    if (e.key() == "CP_JSON_MISMATCH") return 0;  // the check of the document written
    finding("JSON that builds cannot be written", described(e) + "\n" + *direct);
  }
  std::string back;
  try {
    back = session.toJson(xml.data(), xml.size());
  } catch (const wfxml::Error& e) {
    finding("the document written does not read back", described(e) + "\n" + std::string(xml.begin(), xml.end()));
  }
  // A document the schema refuses may spell a value as its type's pattern
  // does not allow (.570 for two decimals): it is written respelled.
  const bool valid = typedSet().validate(data, size).empty();
  if (back != *direct && valid) finding("the document written reads back to other JSON", *direct + "\n" + back);
  if (!valid) return 0;
  const std::vector<std::string> before = valuesByPath(session, data, size);
  const std::vector<std::string> after = valuesByPath(session, xml.data(), xml.size());
  if (before != after)
    finding("a valid document comes back with other values or names", joined(before) + "\n" + joined(after));
  const std::optional<std::vector<std::string>> namesBefore = qualifiedNamesByPath(data, size);
  if (!namesBefore) return 0;
  const std::optional<std::vector<std::string>> namesAfter = qualifiedNamesByPath(xml.data(), xml.size());
  if (!namesAfter) finding("libxml2 does not read the document written", std::string(xml.begin(), xml.end()));
  if (*namesBefore != *namesAfter)
    finding("a valid document comes back with QName values of other namespaces", joined(*namesBefore) + "\n" + joined(*namesAfter));
  return 0;
}
