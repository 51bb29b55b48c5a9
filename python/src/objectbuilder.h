#ifndef PYTHON_SRC_OBJECTBUILDER_H
#define PYTHON_SRC_OBJECTBUILDER_H

// Typed data as Python objects: dict, list, int (any size), decimal.Decimal,
// float, bool, None, str and bytes. Called with the GIL held.

#include <pybind11/pybind11.h>
#include <wfxml/wfxml.h>

#include <array>
#include <cstdint>
#include <string>
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
  pybind11::object find(std::string_view name) {
    const std::uint64_t address = reinterpret_cast<std::uintptr_t>(name.data()) ^ name.size();
    Recent& slot = recent_[(address * 0x9E3779B97F4A7C15u) >> (64 - kRecentBits)];
    if (!slot.key || slot.source != name.data() || slot.text != name) {
      const Keys::value_type& entry = lookUp(name);
      slot = Recent{name.data(), entry.first, entry.second};
    }
    return pybind11::reinterpret_borrow<pybind11::object>(slot.key);
  }

private:
  static constexpr std::size_t kMaxKeys = 1 << 14;
  static constexpr int kRecentBits = 11;
  // The views point into the str objects' own UTF-8 text.
  using Keys = std::unordered_map<std::string_view, PyObject*>;

  const Keys::value_type& lookUp(std::string_view name);
  void clear();

  // The walk hands most names out of the message set's schema view, from
  // the same address every time: a slot per address answers them without
  // hashing the text. A slot still compares the text, for names written
  // into a reused buffer.
  struct Recent {
    const char* source = nullptr;
    std::string_view text;  // the key's own UTF-8
    PyObject* key = nullptr;  // borrowed from keys_
  };
  std::array<Recent, std::size_t{1} << kRecentBits> recent_{};
  Keys keys_;
};

// The str and Decimal objects of short values, kept from message to message
// by their text: a message set's documents repeat few values many times
// (codes, scheme URIs, dates, amounts: nine in ten of the FpML corpus's), and
// a value shared needs neither decoding nor memory of its own (results kept
// in memory are the smaller for it). Both types are immutable, so sharing
// them shows only to `is`. A slot per hash of the text, overwritten by the
// next value that falls into it; used with the GIL held, as KeyCache is.
class ValueCache {
public:
  ValueCache() = default;
  ValueCache(const ValueCache&) = delete;
  ValueCache& operator=(const ValueCache&) = delete;
  ~ValueCache();

  // New references. Throw pybind11::error_already_set.
  PyObject* string(std::string_view utf8) { return find(Kind::String, utf8); }
  PyObject* decimal(std::string_view digits) { return find(Kind::Decimal, digits); }

private:
  enum class Kind : unsigned char { String, Decimal };
  // Longer texts are seldom repeated; hashing them would cost more than it saves.
  static constexpr std::size_t kMaxText = 96;
  static constexpr int kSlotBits = 12;

  PyObject* find(Kind kind, std::string_view text);

  struct Slot {
    std::size_t hash = 0;
    Kind kind = Kind::String;
    std::string text;
    PyObject* object = nullptr;  // owned
  };
  std::vector<Slot> slots_ = std::vector<Slot>(std::size_t{1} << kSlotBits);
};

// What the Python objects of typed data take from earlier messages: shared by
// all threads of a message set, used with the GIL held.
struct ObjectCaches {
  KeyCache keys;
  ValueCache values;
};

class PythonObjectBuilder final : public wfxml::TypedDataHandler {
public:
  explicit PythonObjectBuilder(ObjectCaches& caches) : keys_(caches.keys), values_(caches.values) {}
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
  ValueCache& values_;
};

}  // namespace wfxml::python

#endif
