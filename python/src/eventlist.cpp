#include "eventlist.h"

#include "decimaltype.h"

namespace py = pybind11;

namespace wfxml::python {
namespace {
py::str utf8Text(const std::string& text) {
  return py::reinterpret_steal<py::str>(
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

const char* kindName(wfxml::EventKind kind) {
  switch (kind) {
    case wfxml::EventKind::StartMessage: return "START_MESSAGE";
    case wfxml::EventKind::EndMessage: return "END_MESSAGE";
    case wfxml::EventKind::StartElement: return "START_ELEMENT";
    case wfxml::EventKind::EndElement: return "END_ELEMENT";
    case wfxml::EventKind::Value: return "VALUE";
  }
  return "?";
}
}  // namespace

RecordedValue::RecordedValue(const wfxml::Value& value) : kind(value.kind()), isNull(value.isNull()) {
  if (isNull) return;
  switch (kind) {
    case wfxml::ValueKind::None: return;
    case wfxml::ValueKind::Integer: integer = value.asInteger(); return;
    case wfxml::ValueKind::Double: number = value.asDouble(); return;
    case wfxml::ValueKind::Boolean: boolean = value.asBoolean(); return;
    case wfxml::ValueKind::Binary: {
      const std::vector<std::uint8_t> bytes = value.asBinary();
      text.assign(bytes.begin(), bytes.end());
      return;
    }
    case wfxml::ValueKind::String:
    case wfxml::ValueKind::Decimal:
    case wfxml::ValueKind::DateTime:
    case wfxml::ValueKind::Duration: text = value.text(); return;
  }
}

py::object RecordedValue::toPython() const {
  if (isNull) return py::none();
  switch (kind) {
    case wfxml::ValueKind::None: return py::none();
    case wfxml::ValueKind::Integer: return py::int_(integer);
    case wfxml::ValueKind::Double: return py::float_(number);
    case wfxml::ValueKind::Boolean: return py::bool_(boolean);
    case wfxml::ValueKind::Binary: return py::bytes(text);
    case wfxml::ValueKind::Decimal: return makeDecimal(text);
    case wfxml::ValueKind::String:
    case wfxml::ValueKind::DateTime:
    case wfxml::ValueKind::Duration: return utf8Text(text);
  }
  return py::none();
}

PythonEvent EventIterator::next() {
  if (position_ == events_.size()) throw py::stop_iteration();
  RecordedEvent& event = events_[position_++];
  PythonEvent out{event.kind, utf8Text(event.name), utf8Text(event.namespaceUri), event.isAttribute,
                  event.isSelfDefining, event.depth, event.value.toPython()};
  event = RecordedEvent{};  // handed over: free its texts now
  return out;
}

std::string PythonEvent::repr() const {
  std::string text = std::string("<wfxml.Event ") + kindName(kind);
  if (!std::string(name).empty()) text += " " + std::string(isAttribute ? "@" : "") + std::string(name);
  text += " depth=" + std::to_string(depth);
  if (kind == wfxml::EventKind::Value) text += " value=" + std::string(py::repr(value));
  return text + ">";
}

}  // namespace wfxml::python
