#ifndef PYTHON_SRC_DATAREADER_H
#define PYTHON_SRC_DATAREADER_H

// Reads typed data from Python objects (the shapes to_dict makes) and hands
// it to a TypedDataHandler, token by token. Called with the GIL held.

#include <pybind11/pybind11.h>

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace wfxml {
class TypedDataHandler;
}

namespace wfxml::python {

class PythonDataReader {
public:
  // Reads data into out: dict (str keys), list and tuple, None, bool, int,
  // float, decimal.Decimal, str, and bytes-like objects. Nesting depth is
  // bounded only by memory: the walk keeps its own stack.
  //
  // Throws what out throws (path() tells where it stopped), TypeError for an
  // object of another type or a key that is not a str, ValueError for a
  // container that contains itself; the Python errors name the path. A str
  // holding a lone surrogate goes to out as bytes that are not UTF-8, which
  // the builder refuses as data that do not fit.
  void read(pybind11::handle data, TypedDataHandler& out);

  // Where the reader is: "order.items[2].qty" (keys joined by ".", list
  // positions in brackets), empty before the first key.
  std::string path() const;

private:
  struct Level {
    pybind11::object container;
    bool isObject = false;
    Py_ssize_t position = 0;  // the next entry to read
    pybind11::object key;     // objects: the key being read, or None
    Py_ssize_t index = -1;    // arrays: the index being read, or -1
  };

  // Sends a scalar to out, or opens a container and pushes its level.
  void begin(pybind11::handle value, TypedDataHandler& out);
  // Reads the top level's next entry, or closes it and pops it.
  void step(TypedDataHandler& out);
  [[noreturn]] void fail(PyObject* pythonErrorType, const std::string& what) const;
  // The UTF-8 of a str, valid while holder holds what it may need.
  static std::string_view utf8Of(PyObject* text, pybind11::object& holder);

  std::vector<Level> levels_;
  std::unordered_set<PyObject*> openContainers_;  // to refuse cycles
  pybind11::object surrogates_;  // the bytes of the last str with a lone surrogate
};

}  // namespace wfxml::python

#endif
