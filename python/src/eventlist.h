#ifndef PYTHON_SRC_EVENTLIST_H
#define PYTHON_SRC_EVENTLIST_H

// The events of a parse, recorded without the GIL and handed to Python one
// at a time: the library's events are views valid only until the next one,
// so each is copied into a RecordedEvent while the parse runs.

#include <pybind11/pybind11.h>
#include <wfxml/wfxml.h>

#include <memory>
#include <string>
#include <vector>

namespace wfxml::python {

struct RecordedValue {
  wfxml::ValueKind kind = wfxml::ValueKind::None;
  bool isNull = true;
  std::int64_t integer = 0;
  double number = 0;
  bool boolean = false;
  std::string text;  // strings, decimals, date-times, durations; binary as raw bytes

  explicit RecordedValue(const wfxml::Value& value);
  RecordedValue() = default;
  // int, decimal.Decimal, float, bool, str, bytes or None. GIL held.
  pybind11::object toPython() const;
};

struct RecordedEvent {
  wfxml::EventKind kind;
  std::string name;
  std::string namespaceUri;
  bool isAttribute;
  bool isSelfDefining;
  int depth;
  RecordedValue value;
};

// The Python wfxml.Event: the recorded event with its texts as Python objects.
struct PythonEvent {
  wfxml::EventKind kind;
  pybind11::str name;
  pybind11::str namespaceUri;
  bool isAttribute;
  bool isSelfDefining;
  int depth;
  pybind11::object value;
  std::string repr() const;
};

// The iterator events() returns.
class EventIterator {
public:
  explicit EventIterator(std::vector<RecordedEvent> events) : events_(std::move(events)) {}
  // The next event; throws pybind11::stop_iteration at the end. GIL held.
  PythonEvent next();
  std::size_t remaining() const { return events_.size() - position_; }

private:
  std::vector<RecordedEvent> events_;
  std::size_t position_ = 0;
};

}  // namespace wfxml::python

#endif
