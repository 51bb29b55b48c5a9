#ifndef TESTS_DEEPSCHEMAS_H
#define TESTS_DEEPSCHEMAS_H

// Schema components chained as deep as the loader must follow them, for the
// tests of the compile and of validation on small threads.

#include <functional>
#include <string>

// link(0) to link(n), a line each.
inline std::string linesOf(int n, const std::function<std::string(int)>& link) {
  std::string lines;
  for (int i = 0; i <= n; ++i) lines += link(i) + "\n";
  return lines;
}

// Elements E0 to En, each referring to the next; E0 holds <E1/>.
inline std::string referencedElementChain(int n) {
  return linesOf(n, [](int i) {
           return "<xs:element name='E" + std::to_string(i) + "'><xs:complexType><xs:sequence><xs:element ref='E" +
                  std::to_string(i + 1) + "' minOccurs='0'/></xs:sequence></xs:complexType></xs:element>";
         }) +
         "<xs:element name='E" + std::to_string(n + 1) + "'/>\n";
}

// Unions S1 to Sn, each of xs:date and the one before (S0, a hexBinary),
// and the element root of type Sn.
inline std::string unionChain(int n, const std::string& root) {
  return linesOf(n, [](int i) {
           return "<xs:simpleType name='S" + std::to_string(i) + "'>" +
                  (i ? "<xs:union memberTypes='xs:date S" + std::to_string(i - 1) + "'/>"
                     : "<xs:restriction base='xs:hexBinary'/>") +
                  "</xs:simpleType>";
         }) +
         "<xs:element name='" + root + "' type='S" + std::to_string(n) + "'/>\n";
}

#endif
