// Arbitrary text as typed JSON of one message set (tests/data/typed): it is
// refused naming its JSON path (by the build or by the check of the document
// written), or it writes a document that is well-formed and reads back to
// the JSON the built message gives.
#include "wfxml/wfxml.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

const wfxml::MessageSet& typedSet() {
  static const wfxml::MessageSet set = wfxml::MessageSet::compile({std::string(WF_TEST_DATA_DIR) + "/typed/typed.xsd"});
  return set;
}

[[noreturn]] void finding(const std::string& what, const std::string& detail) {
  std::fprintf(stderr, "%s\n%s\n", what.c_str(), detail.c_str());
  std::abort();
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
  const std::string expected = session.toJson(*built);
  std::vector<std::uint8_t> xml;
  try {
    xml = session.write(*built);
  } catch (const wfxml::Error& e) {
    // The check of the written document (facets, what the schema's own
    // validator finds) refuses at the write, naming the JSON path too.
    if (e.key() == "CP_JSON_MISMATCH" && !e.inserts().empty() && e.inserts()[0].rfind('$', 0) == 0) return 0;
    finding("accepted JSON that cannot be written", expected + "\n" + e.what());
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
  if (back != expected) finding("the XML written reads back to other JSON", expected + "\n" + back + "\n" + text);
  return 0;
}
