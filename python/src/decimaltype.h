#ifndef PYTHON_SRC_DECIMALTYPE_H
#define PYTHON_SRC_DECIMALTYPE_H

// decimal.Decimal, which exact decimals map to in both directions.

#include <pybind11/pybind11.h>

#include <string_view>

namespace wfxml::python {

// Imports decimal.Decimal once, when the module is imported.
void importDecimalType();

// A new Decimal of digits ("-12.50"). Throws pybind11::error_already_set.
pybind11::object makeDecimal(std::string_view digits);

bool isDecimal(pybind11::handle object);

// The decimal's digits in plain notation (Decimal("1E+2") gives "100"), the
// form the typed data takes. NaN and infinities give "NaN", "Infinity" and
// "-Infinity", which only a double member accepts.
std::string decimalDigits(pybind11::handle decimal);

// Whether the zeros a finite decimal's plain notation adds to its digits are
// within wfxml::kMaxDecimalExponent, so that the notation has a sane length.
bool hasSaneExponent(pybind11::handle decimal);

// Any int as decimal digits and back, also beyond the 4,300 digits Python's
// own conversions take (sys.int_max_str_digits), both from halves: the
// digits of halves of the int's bits, the int of halves of its digits. digits: an optional sign, then digits.
std::string integerDigits(pybind11::handle integer);
pybind11::object makeInteger(std::string_view digits);

}  // namespace wfxml::python

#endif
