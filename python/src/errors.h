#ifndef PYTHON_SRC_ERRORS_H
#define PYTHON_SRC_ERRORS_H

// wfxml.Error, the Python face of wfxml::Error: an Exception subclass whose
// instances carry key, number, inserts and path as attributes (path: where
// in the Python data to_xml stopped, else None). Instances pickle with their
// attributes, so errors cross process boundaries (Dask) intact.

#include <pybind11/pybind11.h>

#include <string_view>

namespace wfxml {
class Error;
}

namespace wfxml::python {

// Creates wfxml.Error in module and translates every wfxml::Error that
// reaches Python into it.
void registerErrorType(pybind11::module_& module);

// Sets wfxml.Error for error as the pending Python exception, with path
// ("order.items[2].qty") when it is not empty, in its path and at the end of
// its message, and throws pybind11::error_already_set.
[[noreturn]] void raiseError(const wfxml::Error& error, std::string_view path);

}  // namespace wfxml::python

#endif
