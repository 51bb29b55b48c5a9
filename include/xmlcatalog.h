#ifndef XMLCATALOG_H
#define XMLCATALOG_H

#include "zelapi.h"

#include <string>
#include <vector>

// Maps the locations of schema documents that only the network could serve
// (an import's http schemaLocation) to local files, as an OASIS XML catalog
// says: its system and uri entries map one location, rewriteSystem and
// rewriteURI a location prefix, systemSuffix and uriSuffix a location
// suffix, and nextCatalog names a catalog asked when this one maps nothing.
// The catalog files are asked in order; the first that maps a location
// wins, and within one file an exact entry beats the longest prefix, which
// beats the longest suffix. Relative uri and catalog attributes are taken
// against the catalog file's folder. Other entries (public, delegate...)
// map nothing.
class ZEL_API XmlCatalog {
public:
  XmlCatalog() = default;
  // Reads the catalog files and the catalogs their nextCatalog entries
  // name. Needs Xerces-C initialised. Throws ZelFatalException
  // CP_DICTIONARY_SOURCE_ERROR (inserts: catalog file, place, what is wrong)
  // when a catalog cannot be read or is no well-formed XML.
  explicit XmlCatalog(const std::vector<std::string>& files);

  // The catalog files the environment names in XML_CATALOG_FILES
  // (separated by blanks; file: URLs taken as paths), as xmllint reads it.
  static std::vector<std::string> filesFromEnvironment();

  // The local file a location maps to; empty when no entry maps it.
  std::string resolve(const std::string& location) const;
  bool empty() const { return entries_.empty(); }

private:
  enum class Match { Exact, Prefix, Suffix };
  struct Entry {
    Match match;
    std::string from;  // the location, its prefix or its suffix
    std::string to;    // the file, or the prefix that replaces from
    std::size_t file;  // which catalog file, in asking order
  };
  void read(const std::string& file, std::vector<std::string>& seen);

  std::vector<Entry> entries_;
  std::size_t files_ = 0;
};

#endif
