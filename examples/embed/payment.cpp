// Compiles a schema, parses a message into typed values, prints them, and
// writes the message again in code page 500 (EBCDIC).
//   payment SCHEMA.xsd MESSAGE.xml [OUT.xml]
#include <wfxml/wfxml.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {
const char* kindName(wfxml::ValueKind kind) {
  switch (kind) {
  case wfxml::ValueKind::None: return "none";
  case wfxml::ValueKind::String: return "string";
  case wfxml::ValueKind::Integer: return "integer";
  case wfxml::ValueKind::Decimal: return "decimal";
  case wfxml::ValueKind::Double: return "double";
  case wfxml::ValueKind::Boolean: return "boolean";
  case wfxml::ValueKind::DateTime: return "date-time";
  case wfxml::ValueKind::Duration: return "duration";
  case wfxml::ValueKind::Binary: return "binary";
  }
  return "?";
}

// One line per value: its path, its text and its kind. An element's simple
// content is its value, so its anonymous holder is not printed again.
void printValues(const wfxml::Element& element, const std::string& path) {
  const bool anonymous = element.name().empty();
  const std::string here = anonymous ? path : path + "/" + (element.isAttribute() ? "@" : "") + element.name();
  if (element.hasValue() && !(anonymous && element.parent().hasValue())) {
    const wfxml::Value value = element.value();
    std::cout << here << " = " << (value.isNull() ? "(null)" : value.text()) << "  [" << kindName(value.kind())
              << "]\n";
  }
  for (const wfxml::Element& child : element.children()) printValues(child, here);
}

std::vector<char> readFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(std::string("cannot read ") + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: payment SCHEMA.xsd MESSAGE.xml [OUT.xml]\n";
    return 2;
  }
  try {
    const wfxml::MessageSet set = wfxml::MessageSet::compile({argv[1]});
    const std::vector<char> xml = readFile(argv[2]);
    const wfxml::Message message = set.parse(xml.data(), xml.size());
    printValues(message.root(), "");

    const std::vector<std::uint8_t> ebcdic = set.write(message, {"ibm-500"});
    std::cout << "written in code page 500: " << ebcdic.size() << " bytes\n";
    if (argc > 3) std::ofstream(argv[3], std::ios::binary).write(reinterpret_cast<const char*>(ebcdic.data()),
                                                                  static_cast<std::streamsize>(ebcdic.size()));
  } catch (const wfxml::Error& e) {
    std::cerr << "error " << e.key() << ": " << e.what() << '\n';
    return 1;
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
}
