#ifndef PYTHON_SRC_OBJECTBUILDER_H
#define PYTHON_SRC_OBJECTBUILDER_H

// Typed data as Python objects: dict, list, int (any size), decimal.Decimal,
// float, bool, None, str and bytes. Called with the GIL held.

#include <pybind11/pybind11.h>
#include <wfxml/wfxml.h>

#include <string_view>
#include <unordered_map>
#include <vector>

namespace wfxml::python {

// The str objects of dict keys, kept from message to message: a message
// set's documents repeat few keys many times. Used and destroyed with the
// GIL held, which also lets all threads of a message set share one.
// Bounded, so that documents with ever new names cannot grow it for ever.
class KeyCache {
public:
  KeyCache() = default;
  KeyCache(const KeyCache&) = delete;
  KeyCache& operator=(const KeyCache&) = delete;
  ~KeyCache() { clear(); }

  // The (interned) str of name: a new reference.
  pybind11::object find(std::string_view name);

private:
  static constexpr std::size_t kMaxKeys = 1 << 14;
  void clear();

  // The views point into the str objects' own UTF-8 text.
  std::unordered_map<std::string_view, PyObject*> keys_;
};

class PythonObjectBuilder final : public wfxml::TypedDataHandler {
public:
  explicit PythonObjectBuilder(KeyCache& keys) : keys_(keys) {}
  PythonObjectBuilder(const PythonObjectBuilder&) = delete;
  PythonObjectBuilder& operator=(const PythonObjectBuilder&) = delete;

  // The object built so far (the whole message once the data has ended).
  pybind11::object take() { return std::move(result_); }

  void startObject() override;
  void key(std::string_view name) override;
  void endObject() override;
  void startArray() override;
  void endArray() override;
  void null() override;
  void boolean(bool value) override;
  void integer(std::int64_t value) override;
  void bigInteger(std::string_view digits) override;
  void decimal(std::string_view digits) override;
  void number(double value) override;
  void string(std::string_view text) override;
  void binary(const std::uint8_t* bytes, std::size_t size) override;

private:
  // Stores value under the pending key of the open object, appends it to the
  // open array, or makes it the result. Takes the reference.
  void add(PyObject* value);
  void open(PyObject* container);

  struct OpenContainer {
    pybind11::object container;
    pybind11::object pendingKey;  // objects only
  };
  std::vector<OpenContainer> open_;
  pybind11::object result_;
  KeyCache& keys_;
};

}  // namespace wfxml::python

#endif
