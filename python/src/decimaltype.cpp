#include "decimaltype.h"

namespace py = pybind11;

namespace wfxml::python {
namespace {
// Kept for the life of the interpreter (a raw pointer: no static constructor).
PyObject* decimalType = nullptr;
}  // namespace

void importDecimalType() {
  decimalType = py::object(py::module_::import("decimal").attr("Decimal")).release().ptr();
}

py::object makeDecimal(std::string_view digits) {
  py::object text = py::reinterpret_steal<py::object>(
      PyUnicode_FromStringAndSize(digits.data(), static_cast<Py_ssize_t>(digits.size())));
  if (!text) throw py::error_already_set();
  PyObject* decimal = PyObject_CallOneArg(decimalType, text.ptr());
  if (decimal == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(decimal);
}

bool isDecimal(py::handle object) {
  return PyObject_TypeCheck(object.ptr(), reinterpret_cast<PyTypeObject*>(decimalType));
}

std::string decimalDigits(py::handle decimal) {
  // format(d, "f") never uses an exponent; str(d) may ("1E+2").
  return py::str(py::reinterpret_borrow<py::object>(decimalType).attr("__format__")(decimal, "f"));
}

}  // namespace wfxml::python
