// Arbitrary text as typed JSON of one message set (tests/data/typed): it is
// refused naming its JSON path (by the build or by the check of the document
// written), or it writes a document that is well-formed and reads back to
// the JSON the built message gives (less the blank runs the parser drops).
#include "typedsupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// True for a JSON string token (quotes included) of whitespace alone.
bool isBlankString(std::string_view token) {
  for (std::size_t i = 1; i + 1 < token.size(); ++i) {
    if (token[i] == ' ') continue;
    if (token[i] == '\\' && i + 2 < token.size() && std::string_view("tnr").find(token[i + 1]) != std::string_view::npos) {
      ++i;
      continue;
    }
    return false;
  }
  return true;
}

// The parser drops text runs of whitespace alone, in mixed content too, while
// the build keeps and writes them: the JSON of a built message without them
// (compact JSON, as toJson gives it) is what its document reads back to.
std::string withoutBlankMixedRuns(std::string_view json) {
  std::string out;
  std::vector<bool> mixed;  // per open object or array: an array of mixed content ("$")
  std::size_t i = 0;
  while (i < json.size()) {
    const char c = json[i];
    if (c == '"') {
      std::size_t end = i + 1;
      while (json[end] != '"') end += json[end] == '\\' ? 2 : 1;
      const std::string_view token = json.substr(i, ++end - i);
      i = end;
      const bool item = !mixed.empty() && mixed.back() && (out.back() == '[' || out.back() == ',');
      if (!item || !isBlankString(token)) {
        out.append(token);
      } else if (i < json.size() && json[i] == ',') {
        ++i;
      } else if (out.back() == ',') {
        out.pop_back();
      }
      continue;
    }
    if (c == '{' || c == '[') mixed.push_back(c == '[' && out.size() >= 4 && out.compare(out.size() - 4, 4, "\"$\":") == 0);
    if (c == '}' || c == ']') mixed.pop_back();
    out.push_back(c);
    ++i;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wfxml::Session session(typedSet());
  const std::string_view json(reinterpret_cast<const char*>(data), size);
  std::optional<wfxml::Message> built;
  try {
    built.emplace(session.fromJson(json));
  } catch (const wfxml::Error& e) {
    if (e.key() != "CP_JSON_MISMATCH" || e.inserts().empty() || e.inserts()[0].rfind('$', 0) != 0)
      finding("refused without a JSON path", e.what());
    return 0;
  }
  const std::string builtJson = session.toJson(*built);
  std::vector<std::uint8_t> xml;
  try {
    xml = session.write(*built);
  } catch (const wfxml::Error& e) {
    // The check of the written document (facets, what the schema's own
    // validator finds) refuses at the write, naming the JSON path too.
    if (e.key() == "CP_JSON_MISMATCH" && !e.inserts().empty() && e.inserts()[0].rfind('$', 0) == 0) return 0;
    finding("accepted JSON that cannot be written", builtJson + "\n" + e.what());
  }
  const std::string text(xml.begin(), xml.end());
  try {
    wfxml::Session plain(wfxml::MessageSet::none());
    plain.parse(xml.data(), xml.size());
  } catch (const wfxml::Error& e) {
    finding("the XML written is not well-formed", text + "\n" + e.what());
  }
  std::string back;
  try {
    back = session.toJson(session.parse(xml.data(), xml.size()));
  } catch (const wfxml::Error& e) {
    finding("the XML written does not read back", text + "\n" + e.what());
  }
  const std::string expected = withoutBlankMixedRuns(builtJson);
  if (back != expected) finding("the XML written reads back to other JSON", expected + "\n" + back + "\n" + text);
  return 0;
}
