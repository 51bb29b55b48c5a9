// Parses a document through the wfxml library and prints the file of the
// plug-in it used, for the relocation test: run from a copied tree, it shows
// where the plug-in was found without any environment variable.
#include "wfxml/wfxml.h"

#include <fstream>
#include <iostream>
#include <string>

int main() {
  try {
    const std::string document = "<probe><result>ok</result></probe>";
    const wfxml::Message message = wfxml::MessageSet::none().parse(document.data(), document.size());
    std::cout << message.root().child("result").value().text() << '\n';
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
      const auto path = line.find('/');
      if (path != std::string::npos && line.find("libpwfxml.so") != std::string::npos) {
        std::cout << line.substr(path) << '\n';
        break;
      }
    }
    return 0;
  } catch (const wfxml::Error& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
}
