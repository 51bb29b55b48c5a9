#include "objectbuilder.h"

#include "decimaltype.h"

#include <cassert>
#include <functional>
#include <limits>
#include <string>

namespace py = pybind11;

namespace wfxml::python {
namespace {
PyObject* checked(PyObject* object) {
  if (object == nullptr) throw py::error_already_set();
  return object;
}
}  // namespace

const KeyCache::Keys::value_type& KeyCache::lookUp(std::string_view name) {
  const auto found = keys_.find(name);
  if (found != keys_.end()) return *found;
  if (keys_.size() == kMaxKeys) clear();
  PyObject* text = checked(PyUnicode_DecodeUTF8(name.data(), static_cast<Py_ssize_t>(name.size()), nullptr));
  PyUnicode_InternInPlace(&text);  // the same object as the program's own literals
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
  if (utf8 == nullptr) {
    Py_DECREF(text);
    throw py::error_already_set();
  }
  return *keys_.emplace(std::string_view(utf8, static_cast<std::size_t>(size)), text).first;
}

void KeyCache::clear() {
  recent_.fill(Recent{});
  for (const auto& entry : keys_) Py_DECREF(entry.second);
  keys_.clear();
}

ValueCache::~ValueCache() {
  for (const Slot& slot : slots_) Py_XDECREF(slot.object);
}

PyObject* ValueCache::find(Kind kind, std::string_view text) {
  const auto make = [kind, text]() -> PyObject* {
    if (kind == Kind::Decimal) return makeDecimal(text).release().ptr();
    return checked(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr));
  };
  if (text.size() > kMaxText) return make();
  const std::size_t hash = std::hash<std::string_view>{}(text) ^ static_cast<std::size_t>(kind);
  Slot& slot = slots_[hash >> (std::numeric_limits<std::size_t>::digits - kSlotBits)];
  if (slot.object == nullptr || slot.hash != hash || slot.kind != kind || slot.text != text) {
    PyObject* const made = make();
    Py_XDECREF(slot.object);
    slot.object = made;
    slot.hash = hash;
    slot.kind = kind;
    slot.text.assign(text);
  }
  return Py_NewRef(slot.object);
}

void PythonObjectBuilder::add(PyObject* value) {
  py::object owned = py::reinterpret_steal<py::object>(checked(value));
  if (open_.empty()) {
    result_ = std::move(owned);
    return;
  }
  OpenContainer& top = open_.back();
  assert(static_cast<bool>(top.pendingKey) == PyDict_Check(top.container.ptr()) && "a value in an object needs its key");
  if (top.pendingKey) {
    if (PyDict_SetItem(top.container.ptr(), top.pendingKey.ptr(), owned.ptr()) != 0) throw py::error_already_set();
    top.pendingKey = py::object();
  } else if (PyList_Append(top.container.ptr(), owned.ptr()) != 0) {
    throw py::error_already_set();
  }
}

void PythonObjectBuilder::open(PyObject* container) {
  py::object owned = py::reinterpret_steal<py::object>(checked(container));
  add(owned.inc_ref().ptr());
  open_.push_back({std::move(owned), py::object()});
}

void PythonObjectBuilder::startObject() { open(PyDict_New()); }
void PythonObjectBuilder::startArray() { open(PyList_New(0)); }
void PythonObjectBuilder::endObject() { open_.pop_back(); }
void PythonObjectBuilder::endArray() { open_.pop_back(); }

void PythonObjectBuilder::key(std::string_view name) { open_.back().pendingKey = keys_.find(name); }

void PythonObjectBuilder::null() { add(Py_NewRef(Py_None)); }
void PythonObjectBuilder::boolean(bool value) { add(PyBool_FromLong(value)); }
void PythonObjectBuilder::integer(std::int64_t value) { add(PyLong_FromLongLong(value)); }

void PythonObjectBuilder::bigInteger(std::string_view digits) { add(makeInteger(digits).release().ptr()); }

void PythonObjectBuilder::decimal(std::string_view digits) { add(values_.decimal(digits)); }
void PythonObjectBuilder::number(double value) { add(PyFloat_FromDouble(value)); }

void PythonObjectBuilder::string(std::string_view text) { add(values_.string(text)); }

void PythonObjectBuilder::binary(const std::uint8_t* bytes, std::size_t size) {
  add(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(bytes), static_cast<Py_ssize_t>(size)));
}

}  // namespace wfxml::python
