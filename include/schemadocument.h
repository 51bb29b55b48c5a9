#ifndef SCHEMADOCUMENT_H
#define SCHEMADOCUMENT_H

#include "zelapi.h"

#include <optional>
#include <string>
#include <vector>

// One XML Schema document a message set was compiled from, kept in the
// dictionary so that documents can be validated without the schema files.
// location is the document's system id as it was read (an absolute path),
// made portable for the dictionary (makeLocationsPortable); the documents
// it includes or imports are found among the others by their
// schemaLocation resolved against it.
struct SchemaDocument {
  std::string location;
  std::string bytes;    // the file as read, in its own encoding (UTF-16 and UTF-32 made UTF-8)
  bool isRoot = false;  // named by the user (the others were included or imported)
};

using SchemaDocuments = std::vector<SchemaDocument>;

// The location a schemaLocation (or a file name given by the user) names,
// resolved against the location of the document that refers to it (empty
// for a user's file name): an absolute, normalised path for a local file
// ("file://" URLs included; a schemaLocation's escapes such as %20 undone,
// a user's file name taken as it stands), for any other scheme the URL with the "." and
// ".." segments of its path resolved.
// Recording and looking documents up both go through it, so a dictionary's
// documents are found again by the same names.
ZEL_API std::string resolveSchemaLocation(const std::string& referrer, const std::string& location);
// True for a location with a scheme other than file: one that only the
// network could serve.
ZEL_API bool isNetworkLocation(const std::string& location);
// Makes the local documents' locations relative to the folder that holds
// them all ("order.xsd", "common/types.xsd"), so that a dictionary does not
// depend on the machine or folder it was compiled in; URLs stay. Their
// references to each other resolve among the relative names as before.
ZEL_API void makeLocationsPortable(SchemaDocuments& documents);

// The schema document of the XML namespace (xml:lang, xml:space, xml:base,
// xml:id and the attribute group xml:specialAttrs, as the XML, XML Base and
// xml:id recommendations define them). An import of that namespace that names
// no document, or one only the network could serve and no XML catalog maps,
// reads this one, kept under kXmlNamespaceSchemaLocation (or the location the
// import names): the namespace's schema is fixed, and nothing is fetched.
ZEL_API extern const char* const kXmlNamespaceSchemaLocation;
ZEL_API const std::string& xmlNamespaceSchema();

// What Xerces-C must not be given of a schema document, which it reads
// without limits: entity references that expand beyond what a message's
// may (more than kSchemaEntityExpansionLimit expansions, or more than
// kSchemaEntityTextAllowance characters of text beyond the document's own
// length), and a pattern facet its matcher cannot match in bounded time
// (patternbacktracking.h), which it matches already while it loads the
// schema (against enumerations and default values). Each document is read
// here first, from its bytes alone (nothing is fetched; external DTDs read as
// empty). Xerces-C must be started.
constexpr std::size_t kSchemaEntityExpansionLimit = 1000;
constexpr std::size_t kSchemaEntityTextAllowance = std::size_t{4} << 20;
struct SchemaDocumentFault {
  std::string place;  // "line L, column C"
  std::string what;
};
ZEL_API std::optional<SchemaDocumentFault> findSchemaDocumentFault(const SchemaDocument& document);

#endif
