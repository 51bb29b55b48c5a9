// The extension module wfxml._wfxml; the package wfxml re-exports it.

#include "boundmessageset.h"
#include "decimaltype.h"
#include "errors.h"
#include "eventlist.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <wfxml/wfxml.h>

#include <tuple>

namespace py = pybind11;
using namespace pybind11::literals;
using wfxml::python::BoundMessageSet;
using wfxml::python::EventIterator;
using wfxml::python::PythonEvent;

namespace {

bool isPath(py::handle object) {
  return PyUnicode_Check(object.ptr()) || PyBytes_Check(object.ptr()) || py::hasattr(object, "__fspath__");
}

// A path's bytes as the file system takes them, from str, bytes or
// os.PathLike (os.fsencode: also a name that is no UTF-8).
std::string pathText(py::handle path) {
  if (!isPath(path))
    throw py::type_error(std::string("a path is str, bytes or os.PathLike, not ") + Py_TYPE(path.ptr())->tp_name);
  const std::string text = py::bytes(py::module_::import("os").attr("fsencode")(path));
  if (text.find('\0') != std::string::npos)
    throw py::value_error("a path holds no zero byte (a file's bytes, given for its name?)");
  return text;
}

std::vector<std::string> sourcePaths(py::handle paths) {
  if (isPath(paths)) return {pathText(paths)};
  if (!py::isinstance<py::iterable>(paths))
    throw py::type_error(std::string("a path or a list of paths, not ") + Py_TYPE(paths.ptr())->tp_name);
  std::vector<std::string> texts;
  for (py::handle path : paths) texts.push_back(pathText(path));
  return texts;
}

}  // namespace

PYBIND11_MODULE(_wfxml, module) {
  module.doc() = "XML messages read and written against a compiled message set, as typed Python data.";
  wfxml::python::importDecimalType();
  wfxml::python::registerErrorType(module);
  module.attr("__version__") = wfxml::version();

  // The package makes Event.kind an EventKind (an enum.Enum) of this number.
  py::class_<PythonEvent>(module, "Event", "One event of a parsed document's tree.")
      .def_property_readonly(
          "_kind", [](const PythonEvent& event) { return static_cast<int>(event.kind); },
          "0 START_MESSAGE, 1 END_MESSAGE, 2 START_ELEMENT, 3 END_ELEMENT, 4 VALUE.")
      .def_readonly("name", &PythonEvent::name,
                    "The local name (elements and attributes); '' for anonymous values and message events.")
      .def_readonly("namespace", &PythonEvent::namespaceUri, "The namespace URI, or ''.")
      .def_readonly("is_attribute", &PythonEvent::isAttribute)
      .def_readonly("is_self_defining", &PythonEvent::isSelfDefining,
                    "True when the element matched nothing in the message set.")
      .def_readonly("depth", &PythonEvent::depth, "0 for the message element.")
      .def_readonly("value", &PythonEvent::value,
                    "VALUE events: int, decimal.Decimal, float, bool, str, bytes or None (a null).")
      .def("__repr__", &PythonEvent::repr);

  py::class_<wfxml::ValidationError>(module, "ValidationError",
                                     "One way a document breaks its schema, as MessageSet.validate reports it.")
      .def_readonly("line", &wfxml::ValidationError::line, "1-based line where the validator stood.")
      .def_readonly("column", &wfxml::ValidationError::column)
      .def_readonly("path", &wfxml::ValidationError::path,
                    "The element: '/Document/GrpHdr/MsgId' (names as written); '' before the root.")
      .def_readonly("message", &wfxml::ValidationError::message, "The validator's text.")
      .def(py::pickle(
          [](const wfxml::ValidationError& e) { return py::make_tuple(e.line, e.column, e.path, e.message); },
          [](const py::tuple& t) {
            return wfxml::ValidationError{t[0].cast<std::uint64_t>(), t[1].cast<std::uint64_t>(),
                                          t[2].cast<std::string>(), t[3].cast<std::string>()};
          }))
      .def("__repr__", [](const wfxml::ValidationError& e) {
        return "ValidationError(" + std::to_string(e.line) + ":" + std::to_string(e.column) + ": " +
               (e.path.empty() ? "/" : e.path) + ": " + e.message + ")";
      });

  py::class_<EventIterator>(module, "EventIterator", "The events of one document, in document order.")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &EventIterator::next)
      .def("__length_hint__", &EventIterator::remaining);

  py::class_<wfxml::python::RecordIterator>(module, "RecordIterator",
                                            "The records of one document, in document order, read as they are taken.")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &wfxml::python::RecordIterator::next);

  module.def("_record_pieces", &wfxml::python::recordPieces, "path"_a, "name"_a, "piece_size"_a,
             "encoding"_a = py::none(),
             "The file's pieces between records, as (begin, end, head, tail, place): head + the file's bytes from "
             "begin to end + tail is a document of those records with their ancestors (the Dask converter's split); "
             "place (line, column, head lines, head columns) is where its bytes lie in the file, for "
             "MessageSet._iter_piece.");

  py::class_<BoundMessageSet, std::shared_ptr<BoundMessageSet>>(module, "MessageSet", R"(A loaded message set.

Read-only once made: one MessageSet may be used from any number of threads at
once (each call takes a parser of its own from an internal pool). The GIL is
released while documents are parsed and written and while schemas compile.
Instances pickle as their compiled dictionary.)")
      .def_static(
          "compile",
          [](const py::object& paths, const py::object& catalogs) {
            return BoundMessageSet::compile(sourcePaths(paths),
                                            catalogs.is_none() ? std::vector<std::string>() : sourcePaths(catalogs));
          },
          "paths"_a, "catalogs"_a = py::none(),
          R"(Compiles XML Schema files (.xsd; imports and includes are followed) or one
message-set source (.json) in process. paths: a path or a list of paths.
Nothing is fetched from the network: catalogs (a path or a list of paths)
are XML catalog files that map schema locations by http URL to local files,
asked before those XML_CATALOG_FILES names. Raises wfxml.Error.)")
      .def_static(
          "load", [](const py::object& path) { return BoundMessageSet::load(pathText(path)); }, "path"_a,
          "Loads a compiled dictionary file (wfhost compile makes them). Raises wfxml.Error.")
      .def_static("none", &BoundMessageSet::none,
                  "No message set: every element is self-defining and every value a str.")
      .def(
          "to_dict",
          [](BoundMessageSet& self, const py::object& xml, std::optional<std::string> encoding, bool validate,
             const std::optional<long long>& limit) { return self.toDict(xml, {std::move(encoding), validate, limit}); },
          "xml"_a, "encoding"_a = py::none(), "validate"_a = false, "entity_expansion_limit"_a = py::none(),
          R"(Parses a document into typed data: {message name: content}.

xml: bytes, bytearray, memoryview or str (a str is read as UTF-8).
encoding: the code page of xml ("utf-8", "ibm-500", ...); by default the
byte-order mark or the XML declaration says.

Elements and attributes ("@name") are keys, the text of an element with
attributes is "$", members that may repeat are lists. Values: int (any
size), decimal.Decimal, float, bool, None for nulls, str for date-times,
durations and text, bytes for binary. Raises wfxml.Error.

validate: check xml against the schemas first (see validate); an invalid
document raises wfxml.Error with key CP_NOT_SCHEMA_VALID and its problems
in the error's errors attribute.
entity_expansion_limit: the references to the document type's entities
expanded at most, in the parse and the check alike; None for 1,000.)")
      .def(
          "to_json",
          [](BoundMessageSet& self, const py::object& xml, std::optional<std::string> encoding, bool validate,
             const std::optional<long long>& limit) { return self.toJson(xml, {std::move(encoding), validate, limit}); },
          "xml"_a, "encoding"_a = py::none(), "validate"_a = false, "entity_expansion_limit"_a = py::none(),
          "Parses a document into the same typed data as to_dict, as JSON text (decimals with exactly their "
          "digits). validate and entity_expansion_limit as for to_dict. Raises wfxml.Error.")
      .def(
          "validate",
          [](BoundMessageSet& self, const py::object& xml, std::optional<std::string> encoding,
             const std::optional<long long>& limit) { return self.validate(xml, {std::move(encoding), false, limit}); },
          "xml"_a, "encoding"_a = py::none(), "entity_expansion_limit"_a = py::none(),
          R"(Checks a document against the XML Schema documents the message set was
compiled from (kept in its dictionary: a loaded set needs no .xsd files),
with Xerces-C's validator: full schema checking, identity constraints
included, nothing fetched from the network.

Returns a list of ValidationError (line, column, path, message) in document
order, empty when the document is valid; a document that is not well-formed
gives one. After 10,000 problems one more, "more than 10000 problems", ends
the check. Raises wfxml.Error CP_NO_SCHEMA for a set without schema documents
(a message-set source, MessageSet.none(), an older dictionary).
entity_expansion_limit as for to_dict.)")
      .def("to_xml", &BoundMessageSet::toXml, "data"_a, "encoding"_a = "utf-8", "check"_a = true,
           R"(Writes typed data as an XML document.

data: typed data (the dict to_dict returns), or typed JSON text (what
to_json, iter_records(..., json=True) and wfhost convert write) as str or
as bytes, bytearray or memoryview in UTF-8. The text is read by the
library: no value passes through a float, every decimal keeps its digits.
encoding: any code page the writer takes ("utf-8", "utf-16le", "ibm-500", ...).
check: refuse what the schema forbids (a required member missing, too many
or too few occurrences, two branches of one choice, a value outside its
facets) before writing; False saves the check's time for data known to be
good.
Raises wfxml.Error when the data does not fit the message set or the JSON
text is malformed (its path attribute and message name the place:
"order.items[2].qty" in data, "$.order.items[2].qty" in JSON text),
TypeError for objects that are neither typed data nor JSON text (or hold
objects that are not typed data), ValueError for a container that
contains itself. A path, or a str without any '{', is refused as one:
pass the file's text (pathlib.Path(path).read_text()).)")
      .def(
          "events",
          [](BoundMessageSet& self, const py::object& xml, std::optional<std::string> encoding,
             const std::optional<long long>& limit) { return self.events(xml, {std::move(encoding), false, limit}); },
          "xml"_a, "encoding"_a = py::none(), "entity_expansion_limit"_a = py::none(),
          R"(The tree events of a document, as an iterator of Event.

The document is parsed whole (without the GIL) before the first event is
returned; a malformed document raises wfxml.Error here, before any event.
entity_expansion_limit as for to_dict.)")
      .def(
          "iter_records",
          [](BoundMessageSet& self, const py::object& source, const std::string& record,
             std::optional<std::string> encoding, bool asJson, bool validate, const std::optional<long long>& limit) {
            return self.iterRecords(source, record, {std::move(encoding), validate, limit}, asJson);
          },
          "source"_a, "name"_a, py::kw_only(), "encoding"_a = py::none(), "json"_a = false, "validate"_a = false,
          "entity_expansion_limit"_a = py::none(),
           R"(The records of a document, one at a time: each occurrence of the element
name ("Ntry" anywhere, "Stmt/Ntry" under its parent, "/Document/.../Ntry"
from the message element) as the typed data of the document reduced to
that record and its ancestors with their attributes (docs/typed-json.md,
"Records"); the same records as wfhost convert --records.

source: a path (str or os.PathLike), a binary stream (read in chunks), or
the document's bytes. Memory holds a piece of the document and its
records, not the document, for documents in UTF-8 and the other code
pages that keep markup in ASCII; others are read whole.
json: yield each record's typed JSON text (what wfhost writes) instead.
validate: check the whole document against the schemas while it is read
(see validate); the first problem raises wfxml.Error carrying the problems
found so far, before the records of the piece it lies in. A valid document
gives the same records.
A document that is not well-formed raises wfxml.Error after the records
before the fault, naming the file read (the path, or a stream's name).
entity_expansion_limit as for to_dict, for each piece read.)")
      .def(
          "_iter_piece",
          [](BoundMessageSet& self, const py::object& document, const std::string& record,
             const std::tuple<long, long, long, long>& place, const std::optional<std::string>& encoding,
             bool asJson, const std::optional<long long>& limit) {
            const auto [line, column, headLines, headColumns] = place;
            return self.iterRecords(document, record, {encoding, false, limit}, asJson,
                                    {line, column, headLines, headColumns});
          },
          "document"_a, "name"_a, "place"_a, py::kw_only(), "encoding"_a = py::none(), "json"_a = false,
          "entity_expansion_limit"_a = py::none(),
          "iter_records of a piece's document (wfxml._record_pieces), its errors naming the file's lines and "
          "columns.")
      .def_property_readonly("message_names", &BoundMessageSet::messageNames,
                             "The names of the message set's messages.")
      .def_property_readonly("compile_warnings", &BoundMessageSet::compileWarnings,
                             "What compiling XML Schema files warned of (a list of str, one per kind, naming "
                             "file and component); empty for a loaded dictionary.")
      .def("dictionary_bytes", &BoundMessageSet::dictionaryBytes,
           "The compiled dictionary as a file's bytes (what MessageSet.load reads).")
      .def("__reduce__", [](const BoundMessageSet& self) {
        return py::make_tuple(py::module_::import("wfxml").attr("_load_dictionary_bytes"),
                              py::make_tuple(self.dictionaryBytes()));
      });

  // The package's public names live in wfxml, not in the extension module.
  for (const char* name : {"Error", "Event", "EventIterator", "MessageSet", "RecordIterator", "ValidationError"})
    module.attr(name).attr("__module__") = "wfxml";
}
