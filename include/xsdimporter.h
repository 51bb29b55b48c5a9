#ifndef XSDIMPORTER_H
#define XSDIMPORTER_H

#include "messageset.h"
#include "zelapi.h"

#include <string>
#include <vector>

// Builds a message set from a set of XML Schema documents, so that documents
// valid against the schemas parse into typed elements. The schemas are loaded
// and checked by Xerces-C (schema processing and full checking on); the
// importer then walks the schema component model:
// - each target namespace becomes a namespace row, preferring the prefix the
//   schema documents bind to it (else "ns1", "ns2" ...); namespaces are
//   enabled when any component has a target namespace;
// - global element and attribute declarations become global elements; global
//   elements that no particle refers to and that join no substitution group
//   are messages, unless XsdImportOptions::messages names them;
// - named and anonymous types become types, complex ones with their members
//   in content-model order (attributes first, rendered as attributes; nested
//   model groups as group members; wildcards as group members of an open
//   type without members, so unknown elements pass self-defining or as
//   embedded messages); an extension lists only what it adds;
// - built-in types become the predefined types (NMTOKENS, IDREFS, ENTITIES
//   lists of their item types, anyType an open complex type).
// Message-set properties suit schema-valid documents (no root wrapper, no
// DOCTYPE, no time-stamp comment, xsi:nil as the null encoding when
// namespaces are enabled); a JSON properties file overrides any of them.
struct XsdImportOptions {
  std::string name;                   // the message set's name; empty: the first file's stem
  std::vector<std::string> messages;  // global element names that are the messages; empty: see above
  std::string propertiesFile;         // message-set properties as JSON (docs/message-set-source.md); empty: none
  // XML catalogs that map schema locations only the network could serve
  // (http imports) to local files; those XML_CATALOG_FILES names are asked
  // after them. Nothing is ever fetched.
  std::vector<std::string> catalogFiles;
};

struct XsdImportResult {
  msgset::MessageSet set;
  // What Xerces-C warns of in the schema documents and what is read otherwise
  // than written (a maxOccurs beyond 32 bits), each naming the schema file:
  // true of the parse and of validation alike.
  std::vector<std::string> warnings;
  // Constructs the dictionary maps with a different or reduced meaning, each
  // naming the schema file, line and component and saying how the parse
  // treats it; validation reads the schemas as they are. One line per kind.
  std::vector<std::string> mappingWarnings;
};

// Loads the schema documents (paths, or URLs the catalogs map; documents
// they include or import are loaded too) and maps them.
//
// Raises ZelFatalException CP_DICTIONARY_SOURCE_ERROR with the inserts
// schema file, place ("line L, column C", or "line L, complexType 'Name'")
// and what is wrong, when Xerces-C rejects a schema, when a name given in
// options.messages is no global element, or when the properties file is
// malformed (inserts as for JSON sources). A properties file that cannot be
// read raises CP_IO_ERROR (inserts: path, reason).
ZEL_API XsdImportResult importXmlSchemas(const std::vector<std::string>& schemaFiles,
                                         const XsdImportOptions& options);

#endif
