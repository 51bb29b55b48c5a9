#include "datareader.h"

#include "decimaltype.h"

#include <wfxml/wfxml.h>

#include <string_view>

namespace py = pybind11;

namespace wfxml::python {
namespace {

// The object's type as a message names it: "a set", "an object".
std::string typeWithArticle(PyObject* object) {
  const std::string_view name = Py_TYPE(object)->tp_name;
  const bool vowel = !name.empty() && std::string_view("aeiouAEIOU").find(name.front()) != std::string_view::npos;
  return (vowel ? "an " : "a ") + std::string(name);
}

// A C-contiguous view of a bytes-like object, released at scope end.
class BorrowedBytes {
public:
  explicit BorrowedBytes(PyObject* object) {
    if (PyObject_GetBuffer(object, &view_, PyBUF_SIMPLE) != 0) throw py::error_already_set();
  }
  BorrowedBytes(const BorrowedBytes&) = delete;
  BorrowedBytes& operator=(const BorrowedBytes&) = delete;
  ~BorrowedBytes() { PyBuffer_Release(&view_); }
  const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(view_.buf); }
  std::size_t size() const { return static_cast<std::size_t>(view_.len); }

private:
  Py_buffer view_{};
};

}  // namespace

void PythonDataReader::read(py::handle data, TypedDataHandler& out) {
  levels_.clear();
  openContainers_.clear();
  begin(data, out);
  while (!levels_.empty()) step(out);
}

// A str's UTF-8; one holding a lone surrogate gives it as its three bytes,
// which the builder refuses as not UTF-8, naming the place, as it refuses
// any data that do not fit.
std::string_view PythonDataReader::utf8Of(PyObject* text, py::object& holder) {
  Py_ssize_t size = 0;
  if (const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size)) return {utf8, static_cast<std::size_t>(size)};
  PyErr_Clear();
  holder = py::reinterpret_steal<py::object>(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass"));
  if (!holder) throw py::error_already_set();
  return {PyBytes_AS_STRING(holder.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(holder.ptr()))};
}

void PythonDataReader::begin(py::handle value, TypedDataHandler& out) {
  PyObject* object = value.ptr();
  if (object == Py_None) return out.null();
  // bool before int: True is an int too.
  if (PyBool_Check(object)) return out.boolean(object == Py_True);
  if (PyLong_Check(object)) {
    int overflow = 0;
    const long long small = PyLong_AsLongLongAndOverflow(object, &overflow);
    if (overflow == 0) return out.integer(small);
    // The digits of the int itself, not of a subclass's __str__ (an IntEnum
    // spells its name).
    py::object exact = py::reinterpret_steal<py::object>(PyNumber_Index(object));
    if (!exact) throw py::error_already_set();
    return out.bigInteger(integerDigits(exact));
  }
  if (PyFloat_Check(object)) return out.number(PyFloat_AS_DOUBLE(object));
  if (isDecimal(value)) {
    // Refused before its digits are spelled out: Decimal("1E+1000000000") would take gigabytes.
    if (!hasSaneExponent(value))
      fail(PyExc_ValueError, "a Decimal whose exponent is beyond " + std::to_string(kMaxDecimalExponent));
    return out.decimal(decimalDigits(value));
  }
  if (PyUnicode_Check(object)) return out.string(utf8Of(object, surrogates_));
  if (PyBytes_Check(object) || PyByteArray_Check(object) || PyMemoryView_Check(object)) {
    const BorrowedBytes bytes(object);
    return out.binary(bytes.data(), bytes.size());
  }
  const bool isObject = PyDict_Check(object);
  if (!isObject && !PyList_Check(object) && !PyTuple_Check(object)) {
    fail(PyExc_TypeError, typeWithArticle(object) +
                              " is not typed data (dict, list, tuple, str, int, float, Decimal, bool, None or bytes)");
  }
  if (!openContainers_.insert(object).second) fail(PyExc_ValueError, "a container that contains itself");
  if (isObject) {
    out.startObject();
  } else {
    out.startArray();
  }
  Level level;
  level.container = py::reinterpret_borrow<py::object>(value);
  level.isObject = isObject;
  levels_.push_back(std::move(level));
}

void PythonDataReader::step(TypedDataHandler& out) {
  Level& level = levels_.back();
  // Entries are held by a reference of our own: converting a Decimal runs
  // Python code, which could change the container.
  if (level.isObject) {
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    if (PyDict_Next(level.container.ptr(), &level.position, &key, &value)) {
      level.key = py::reinterpret_borrow<py::object>(key);
      py::object entry = py::reinterpret_borrow<py::object>(value);
      if (!PyUnicode_Check(key)) fail(PyExc_TypeError, "a key must be a str, not " + typeWithArticle(key));
      out.key(utf8Of(key, surrogates_));
      return begin(entry, out);  // may push: level is not used after this
    }
    level.key = py::object();
    out.endObject();
  } else {
    PyObject* sequence = level.container.ptr();
    if (level.position < PySequence_Fast_GET_SIZE(sequence)) {
      level.index = level.position++;
      py::object item = py::reinterpret_borrow<py::object>(PySequence_Fast_GET_ITEM(sequence, level.index));
      return begin(item, out);
    }
    level.index = -1;
    out.endArray();
  }
  openContainers_.erase(levels_.back().container.ptr());
  levels_.pop_back();
}

std::string PythonDataReader::path() const {
  std::string path;
  for (const Level& level : levels_) {
    if (level.isObject && level.key) {
      if (!path.empty()) path += '.';
      // A lone surrogate spelled as its escape: the path is for messages.
      const py::str key(level.key);  // a key refused for not being a str, as str() spells it
      const py::object shown =
          py::reinterpret_steal<py::object>(PyUnicode_AsEncodedString(key.ptr(), "utf-8", "backslashreplace"));
      if (!shown) throw py::error_already_set();
      path += std::string_view(PyBytes_AS_STRING(shown.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(shown.ptr())));
    } else if (!level.isObject && level.index >= 0) {
      path += '[' + std::to_string(level.index) + ']';
    }
  }
  return path;
}

void PythonDataReader::fail(PyObject* pythonErrorType, const std::string& what) const {
  const std::string where = path();
  PyErr_SetString(pythonErrorType, where.empty() ? what.c_str() : (where + ": " + what).c_str());
  throw py::error_already_set();
}

}  // namespace wfxml::python
