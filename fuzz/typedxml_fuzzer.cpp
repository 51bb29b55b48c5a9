// Arbitrary bytes as a document of one message set (tests/data/typed), to
// typed JSON: the one-pass conversion gives what the parse into a message
// and its JSON give, or refuses as that parse does; the message element as
// a record is the whole document's JSON; and JSON that builds again writes a
// document that reads back to the same JSON and, where the original is
// valid, holds the same elements, attributes and values in the same
// namespaces, so that no value is lost or changed. Read without a dictionary,
// any document that parses must come back with every name and value too.
#include "typedsupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

std::string described(const wfxml::Error& e) { return e.key() + " " + e.what(); }

// Every value of a document with the names and namespaces of its element
// path, sorted: siblings may come back in the schema's order.
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

std::vector<std::string> valuesByPath(wfxml::Session& session, const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> path;  // per depth
  std::vector<std::string> values;
  const auto named = [](const wfxml::Event& e) {
    return (e.isAttribute ? "@{" : "{") + std::string(e.namespaceUri) + "}" + std::string(e.name);
  };
  session.parse(data, size, [&](const wfxml::Event& e) {
    if (e.kind != wfxml::EventKind::StartElement && e.kind != wfxml::EventKind::Value) return;
    path.resize(static_cast<std::size_t>(e.depth));
    std::string where;
    for (const std::string& step : path) where += "/" + step;
    if (e.kind == wfxml::EventKind::StartElement) {
      path.push_back(named(e));
    } else {
      values.push_back(where + "/" + (e.name.empty() ? "#text" : named(e)) + "=" +
                       (e.value.isNull()                             ? "nil"
                        : e.value.kind() == wfxml::ValueKind::Integer ? std::to_string(e.value.asInteger())
                        : e.value.kind() == wfxml::ValueKind::Decimal ? asJsonNumber(e.value.text())
                                                                      : e.value.text()));
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
  if (back != *direct) finding("the document written reads back to other JSON", *direct + "\n" + back);
  if (!typedSet().validate(data, size).empty()) return 0;
  const std::vector<std::string> before = valuesByPath(session, data, size);
  const std::vector<std::string> after = valuesByPath(session, xml.data(), xml.size());
  if (before != after)
    finding("a valid document comes back with other values or names", joined(before) + "\n" + joined(after));
  return 0;
}
