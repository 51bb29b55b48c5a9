#include "errors.h"

#include <wfxml/wfxml.h>

#include <pybind11/stl.h>

namespace py = pybind11;

namespace wfxml::python {
namespace {

// The class object, created once when the module is imported and kept for
// the life of the interpreter (a raw pointer: no static constructor).
PyObject* errorType = nullptr;

// Texts from the library are UTF-8; a stray byte must not turn an error
// into a UnicodeDecodeError.
py::str textOf(std::string_view text) {
  return py::reinterpret_steal<py::str>(
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

py::object errorObject(const wfxml::Error& error, std::string_view path) {
  // "what at path", as every other error reads, with the data's path for the library's own.
  std::string message = error.what();
  if (!path.empty()) message = (error.description().empty() ? message : error.description()) + " at " + std::string(path);
  py::object instance = py::reinterpret_borrow<py::object>(errorType)(textOf(message));
  py::tuple inserts(error.inserts().size());
  for (std::size_t i = 0; i < error.inserts().size(); ++i) inserts[i] = textOf(error.inserts()[i]);
  instance.attr("key") = textOf(error.key());
  instance.attr("number") = py::int_(error.number());
  instance.attr("inserts") = inserts;
  const std::string_view where = path.empty() ? std::string_view(error.path()) : path;
  instance.attr("path") = where.empty() ? py::object(py::none()) : py::object(textOf(where));
  instance.attr("file") = error.file().empty() ? py::object(py::none()) : py::object(textOf(error.file()));
  instance.attr("line") = error.line() > 0 ? py::object(py::int_(error.line())) : py::object(py::none());
  instance.attr("column") = error.column() > 0 ? py::object(py::int_(error.column())) : py::object(py::none());
  instance.attr("errors") = py::cast(error.validationErrors());
  return instance;
}

}  // namespace

void registerErrorType(py::module_& module) {
  py::dict defaults;
  defaults["key"] = py::none();
  defaults["number"] = py::none();
  defaults["inserts"] = py::tuple();
  defaults["path"] = py::none();
  defaults["errors"] = py::list();
  defaults["file"] = py::none();
  defaults["line"] = py::none();
  defaults["column"] = py::none();
  defaults["__module__"] = "wfxml";
  errorType = PyErr_NewExceptionWithDoc(
      "wfxml.Error",
      "The failure of a wfxml call.\n\n"
      "Attributes:\n"
      "    key: the message key, e.g. \"CP_XML_XERCES_PARSER_EXCEPTION\".\n"
      "    number: the message number, e.g. 0xC000151C.\n"
      "    inserts: the message's inserts, a tuple of str.\n"
      "    path: where it stopped: the element path of a document (\"/order/items/qty\"),\n"
      "        the JSON path of JSON (\"$.order.qty\"), for to_xml the place in the data\n"
      "        (\"order.items[2].qty\"); None when not known.\n"
      "    file: the file read, or None.\n"
      "    line, column: where in the document (from 1), or None.\n"
      "    errors: for a document the schema refuses (key CP_NOT_SCHEMA_VALID), its\n"
      "        problems as a list of ValidationError; else empty.\n\n"
      "Compare key, never the text.",
      PyExc_Exception, defaults.ptr());
  if (errorType == nullptr) throw py::error_already_set();
  module.add_object("Error", py::handle(errorType));  // takes a reference of its own

  py::register_exception_translator([](std::exception_ptr pending) {
    try {
      if (pending) std::rethrow_exception(pending);
    } catch (const wfxml::Error& error) {
      py::object instance = errorObject(error, {});
      PyErr_SetObject(errorType, instance.ptr());
    }
  });
}

void raiseError(const wfxml::Error& error, std::string_view path) {
  py::object instance = errorObject(error, path);
  PyErr_SetObject(errorType, instance.ptr());
  throw py::error_already_set();
}

}  // namespace wfxml::python
