#include "decimaltype.h"

#include <wfxml/wfxml.h>

#include <algorithm>
#include <map>
#include <string>

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

bool hasSaneExponent(py::handle decimal) {
  if (!py::cast<bool>(decimal.attr("is_finite")())) return true;
  // The zeros its plain form adds to its digits, not the exponent itself: a
  // value read from a document has all its digits (100,000 of them before the
  // point, say), and comes back.
  const py::tuple parts = decimal.attr("as_tuple")();
  const long digits = static_cast<long>(py::len(parts[1]));
  const long exponent = py::cast<long>(parts[2]);
  const long zeros = exponent > 0 ? exponent : std::max(0L, -exponent - digits);
  return zeros <= kMaxDecimalExponent;
}

namespace {

py::object newReference(PyObject* object) {
  if (object == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(object);
}

// Digits Python's own conversion takes at any sys.int_max_str_digits (640 at least).
constexpr std::size_t kDirectDigits = 600;

// Python turns decimal digits into an int at a cost of the square of their
// number, and so does Decimal: a million digits took ten seconds. Halves
// joined by a power of ten cost what Python's multiplication does, some
// digits^1.6 (the million: 0.4 s).
class IntegerFromDigits {
public:
  py::object operator()(std::string_view digits) {
    if (digits.size() <= kDirectDigits)
      return newReference(PyLong_FromString(std::string(digits).c_str(), nullptr, 10));
    const std::size_t low = digits.size() / 2;
    const py::object high = (*this)(digits.substr(0, digits.size() - low));
    const py::object scaled = newReference(PyNumber_Multiply(high.ptr(), tenToThe(low).ptr()));
    return newReference(PyNumber_Add(scaled.ptr(), (*this)(digits.substr(digits.size() - low)).ptr()));
  }

private:
  const py::object& tenToThe(std::size_t exponent) {
    py::object& power = powers_[exponent];
    if (!power) power = newReference(PyNumber_Power(py::int_(10).ptr(), py::int_(exponent).ptr(), Py_None));
    return power;
  }
  std::map<std::size_t, py::object> powers_;
};

// Bits of an int that str() spells at any sys.int_max_str_digits (640
// digits at least), and that Decimal takes at a cost too small to count.
constexpr std::size_t kDirectBits = 2048;

// Python spells an int's digits at a cost of the square of their number
// (beyond sys.int_max_str_digits not at all), and Decimal(int) as well: a
// million digits took 50 s. Halves of its bits joined in Decimal arithmetic,
// exact at the context's greatest precision, cost what libmpdec's
// multiplication of long numbers does, far less (the million: about 1.5 s).
class DecimalFromInteger {
public:
  DecimalFromInteger() {
    const py::module_ decimal = py::module_::import("decimal");
    context_ = decimal.attr("Context")(py::arg("prec") = decimal.attr("MAX_PREC"),
                                       py::arg("Emax") = decimal.attr("MAX_EMAX"),
                                       py::arg("Emin") = decimal.attr("MIN_EMIN"));
  }

  // nonNegative holds bits bits.
  py::object operator()(py::handle nonNegative, std::size_t bits) {
    if (bits <= 2 * kDirectBits) return newReference(PyObject_CallOneArg(decimalType, nonNegative.ptr()));
    const std::size_t low = bits / 2;
    const py::object shift = py::int_(low);
    const py::object high = newReference(PyNumber_Rshift(nonNegative.ptr(), shift.ptr()));
    const py::object mask = newReference(
        PyNumber_Subtract(newReference(PyNumber_Lshift(py::int_(1).ptr(), shift.ptr())).ptr(), py::int_(1).ptr()));
    const py::object lowBits = newReference(PyNumber_And(nonNegative.ptr(), mask.ptr()));
    const py::object scaled = context_.attr("multiply")((*this)(high, bits - low), twoToThe(low));
    return context_.attr("add")(scaled, (*this)(lowBits, low));
  }

private:
  const py::object& twoToThe(std::size_t exponent) {
    py::object& power = powers_[exponent];
    if (!power) power = context_.attr("power")(2, exponent);
    return power;
  }
  py::object context_;
  std::map<std::size_t, py::object> powers_;
};

}  // namespace

std::string integerDigits(py::handle integer) {
  const std::size_t bits = py::cast<std::size_t>(integer.attr("bit_length")());
  if (bits <= kDirectBits) return py::cast<std::string>(newReference(PyObject_Str(integer.ptr())));
  const bool negative = PyObject_RichCompareBool(integer.ptr(), py::int_(0).ptr(), Py_LT) == 1;
  const py::object magnitude = newReference(PyNumber_Absolute(integer.ptr()));
  return (negative ? "-" : "") + decimalDigits(DecimalFromInteger()(magnitude, bits));
}

py::object makeInteger(std::string_view digits) {
  const bool negative = !digits.empty() && digits.front() == '-';
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
  py::object integer = IntegerFromDigits()(digits);
  return negative ? newReference(PyNumber_Negative(integer.ptr())) : integer;
}

}  // namespace wfxml::python
