#include "boundmessageset.h"

#include "datareader.h"
#include "errors.h"
#include "objectbuilder.h"

#include <optional>
#include <string_view>

namespace py = pybind11;

namespace wfxml::python {
namespace {

// The bytes of a bytes-like object (its own buffer, held so that it cannot
// be resized while the GIL is released) or of a str (its UTF-8). Other
// objects raise TypeError: accepted, then ", not " and their type.
class HeldBytes {
public:
  HeldBytes(py::handle object, std::string_view accepted) {
    if (PyUnicode_Check(object.ptr())) {
      Py_ssize_t size = 0;
      const char* utf8 = PyUnicode_AsUTF8AndSize(object.ptr(), &size);
      if (utf8 == nullptr) {
        // A lone surrogate: its three bytes, which the readers refuse, naming the place.
        PyErr_Clear();
        holder_ = py::reinterpret_steal<py::object>(PyUnicode_AsEncodedString(object.ptr(), "utf-8", "surrogatepass"));
        if (!holder_) throw py::error_already_set();
        utf8 = PyBytes_AS_STRING(holder_.ptr());
        size = PyBytes_GET_SIZE(holder_.ptr());
      } else {
        holder_ = py::reinterpret_borrow<py::object>(object);  // keeps its UTF-8 alive
      }
      bytes_ = std::string_view(utf8, static_cast<std::size_t>(size));
      return;
    }
    if (PyObject_GetBuffer(object.ptr(), &view_, PyBUF_SIMPLE) != 0) {
      PyErr_Clear();
      throw py::type_error(std::string(accepted) + ", not " + Py_TYPE(object.ptr())->tp_name);
    }
    hasView_ = true;
    bytes_ = std::string_view(static_cast<const char*>(view_.buf), static_cast<std::size_t>(view_.len));
  }
  HeldBytes(const HeldBytes&) = delete;
  HeldBytes& operator=(const HeldBytes&) = delete;
  ~HeldBytes() {
    if (hasView_) PyBuffer_Release(&view_);
  }

  std::string_view bytes() const { return bytes_; }

private:
  Py_buffer view_{};
  bool hasView_ = false;
  py::object holder_;  // the str, or the bytes of one with a lone surrogate
  std::string_view bytes_;
};

// A document's bytes and how to parse them.
class DocumentBytes {
public:
  DocumentBytes(py::handle xml, const Reading& reading)
      : held_(notAPath(xml), "a document is bytes, bytearray, memoryview or str"), options_(reading.parseOptions()) {
    const std::string_view bytes = held_.bytes();
    if (PyUnicode_Check(xml.ptr())) {
      // XML text holds markup; a str without any is taken for a file name.
      if (!bytes.empty() && bytes.find('<') == std::string_view::npos)
        throw py::value_error("a document is XML text, and '" + std::string(bytes.substr(0, 80)) +
                              "' holds no markup: a path? pass the file's bytes, e.g. "
                              "pathlib.Path(path).read_bytes()");
      options_.encoding = reading.encoding.value_or("utf-8");
    }
  }

  const void* data() const { return held_.bytes().data(); }
  std::size_t size() const { return held_.bytes().size(); }
  const wfxml::ParseOptions& options() const { return options_; }

private:
  static py::handle notAPath(py::handle xml) {
    // bytes and str are no paths; asking them for __fspath__ would cost a
    // raised and cleared AttributeError per call.
    if (!PyBytes_CheckExact(xml.ptr()) && !PyUnicode_CheckExact(xml.ptr()) && py::hasattr(xml, "__fspath__"))
      throw py::type_error("a document is bytes or str, not a path (" + std::string(py::str(xml)) +
                           "): pass the file's bytes, e.g. pathlib.Path(path).read_bytes()");
    return xml;
  }

  const HeldBytes held_;
  wfxml::ParseOptions options_;
};

// Pauses Python's cyclic garbage collector for a scope (if it was enabled).
class CollectorPause {
public:
  CollectorPause() : wasEnabled_(PyGC_Disable() != 0) {}
  CollectorPause(const CollectorPause&) = delete;
  CollectorPause& operator=(const CollectorPause&) = delete;
  ~CollectorPause() {
    if (wasEnabled_) PyGC_Enable();
  }

private:
  const bool wasEnabled_;
};

// Hands typed data to a handler that makes Python objects, taking the GIL
// at the first call (the first call opens the message's object) and keeping
// it for the rest of its scope, which must lie within a release of the GIL.
// The cyclic collector would run every few hundred new containers and walk
// the older generations again and again while one message's tree of dicts
// and lists grows; it runs once afterwards instead.
class GilOnFirstCall final : public wfxml::TypedDataHandler {
public:
  explicit GilOnFirstCall(wfxml::TypedDataHandler& out) : out_(out) {}

  void startObject() override {
    if (!gil_) {
      gil_.emplace();
      pause_.emplace();
    }
    out_.startObject();
  }
  void key(std::string_view name) override { out_.key(name); }
  void endObject() override { out_.endObject(); }
  void startArray() override { out_.startArray(); }
  void endArray() override { out_.endArray(); }
  void null() override { out_.null(); }
  void boolean(bool value) override { out_.boolean(value); }
  void integer(std::int64_t value) override { out_.integer(value); }
  void bigInteger(std::string_view digits) override { out_.bigInteger(digits); }
  void decimal(std::string_view digits) override { out_.decimal(digits); }
  void number(double value) override { out_.number(value); }
  void string(std::string_view text) override { out_.string(text); }
  void binary(const std::uint8_t* bytes, std::size_t size) override { out_.binary(bytes, size); }

private:
  wfxml::TypedDataHandler& out_;
  std::optional<py::gil_scoped_acquire> gil_;
  std::optional<CollectorPause> pause_;  // after gil_: ends while the GIL is still held
};

// Writes typed data (Python objects, read with the GIL held) as a document.
void writeTypedData(wfxml::Session& session, py::handle data, const wfxml::WriteOptions& options,
                    std::vector<std::uint8_t>& out) {
  PythonDataReader reader;
  try {
    const std::unique_ptr<wfxml::Session::Builder> builder = session.typedDataBuilder({options.check});
    reader.read(data, *builder);
    const wfxml::Message message = builder->finish();
    py::gil_scoped_release unlocked;
    session.write(message, out, options);
  } catch (const wfxml::Error& error) {
    // The builder checks the data as a whole when it finishes, the write
    // the document against the schema; both name the place themselves
    // ("$.order.items[2].qty"). Errors while reading are at the reader's
    // place.
    const std::string readerPath = reader.path();
    std::string_view where = readerPath;
    if (where.empty() && error.key() == "CP_JSON_MISMATCH" && !error.inserts().empty()) {
      where = error.inserts().front();
      if (where.substr(0, 2) == "$.") where.remove_prefix(2);
    }
    raiseError(error, where);
  }
}

constexpr char kToXmlTakes[] =
    "to_xml takes typed data (a dict, as to_dict gives) or typed JSON text (str, bytes, bytearray or memoryview, "
    "as to_json gives)";

// data, unless it is a path (os.PathLike), given where its file's text belongs.
py::handle jsonTextNotAPath(py::handle data) {
  if (!PyBytes_CheckExact(data.ptr()) && !PyUnicode_CheckExact(data.ptr()) && py::hasattr(data, "__fspath__"))
    throw py::type_error(std::string(kToXmlTakes) + ", not a path (" + std::string(py::str(data)) +
                         "): pass the file's text, e.g. pathlib.Path(path).read_text()");
  return data;
}
}  // namespace

BoundMessageSet BoundMessageSet::compile(const std::vector<std::string>& sourcePaths,
                                         const std::vector<std::string>& catalogs) {
  py::gil_scoped_release unlocked;
  return BoundMessageSet(wfxml::MessageSet::compile(sourcePaths, catalogs));
}

BoundMessageSet BoundMessageSet::load(const std::string& dictionaryPath) {
  py::gil_scoped_release unlocked;
  return BoundMessageSet(wfxml::MessageSet::load(dictionaryPath));
}

BoundMessageSet BoundMessageSet::none() { return BoundMessageSet(wfxml::MessageSet::none()); }

Reading::Reading(std::optional<std::string> encoding, const bool validate,
                 const std::optional<long long>& entityExpansionLimit)
    : encoding(std::move(encoding)), validate(validate), entityExpansionLimit(entityExpansionLimit.value_or(0)) {
  if (entityExpansionLimit && *entityExpansionLimit < 1)
    throw py::value_error("entity_expansion_limit is a positive number of expansions (or None for 1,000), not " +
                          std::to_string(*entityExpansionLimit));
}

wfxml::ParseOptions Reading::parseOptions() const {
  return {encoding.value_or(""), validate, entityExpansionLimit};
}

SessionPool::Lease BoundMessageSet::leaseWorker() {
  py::gil_scoped_release unlocked;  // a new session starts a worker, which takes a while
  return pool_->acquire();
}

py::object BoundMessageSet::toDict(const py::object& xml, const Reading& reading) {
  const SessionPool::Lease worker = leaseWorker();
  const DocumentBytes document(xml, reading);
  PythonObjectBuilder builder(*caches_);
  {
    // The document is parsed without the GIL; the typed data comes only
    // once it has been parsed whole, and takes the GIL back for the objects.
    py::gil_scoped_release unlocked;
    GilOnFirstCall locked(builder);
    worker->session.toTypedData(document.data(), document.size(), locked, document.options());
  }
  return builder.take();
}

std::string BoundMessageSet::toJson(const py::object& xml, const Reading& reading) {
  const SessionPool::Lease worker = leaseWorker();
  const DocumentBytes document(xml, reading);
  py::gil_scoped_release unlocked;
  return worker->session.toJson(document.data(), document.size(), document.options());
}

py::bytes BoundMessageSet::toXml(const py::object& data, const std::string& encoding, bool check) {
  wfxml::WriteOptions options;
  options.encoding = encoding;
  options.check = check;
  std::vector<std::uint8_t> out;
  if (PyDict_Check(data.ptr())) {
    const SessionPool::Lease worker = leaseWorker();
    writeTypedData(worker->session, data, options, out);
  } else {
    const HeldBytes json(jsonTextNotAPath(data), kToXmlTakes);
    // Typed JSON is an object; a str without one is taken for a file name.
    if (PyUnicode_Check(data.ptr()) && !json.bytes().empty() && json.bytes().find('{') == std::string_view::npos)
      throw py::value_error("typed JSON text is an object, and '" + std::string(json.bytes().substr(0, 80)) +
                            "' holds none: a path? pass the file's text, e.g. pathlib.Path(path).read_text()");
    const SessionPool::Lease worker = leaseWorker();
    // The library reads the text itself: no value passes through a Python
    // float, and its errors name the JSON path ("$.order.items[2].qty").
    py::gil_scoped_release unlocked;
    worker->session.write(worker->session.fromJson(json.bytes(), {check}), out, options);
  }
  return py::bytes(reinterpret_cast<const char*>(out.data()), out.size());
}

EventIterator BoundMessageSet::events(const py::object& xml, const Reading& reading) {
  const SessionPool::Lease worker = leaseWorker();
  const DocumentBytes document(xml, reading);
  std::vector<RecordedEvent> events;
  {
    py::gil_scoped_release unlocked;
    worker->session.parse(
        document.data(), document.size(),
        [&events](const wfxml::Event& event) {
          events.push_back(RecordedEvent{event.kind, std::string(event.name), std::string(event.namespaceUri),
                                         event.isAttribute, event.isSelfDefining, event.depth,
                                         RecordedValue(event.value)});
        },
        document.options());
  }
  return EventIterator(std::move(events));
}

std::unique_ptr<RecordIterator> BoundMessageSet::iterRecords(const py::object& source, const std::string& record,
                                                             const Reading& reading, bool asJson,
                                                             const wfxml::RecordCutter::Place& piece) {
  // No element has an empty name: no record would ever come.
  if (record.empty()) throw py::value_error("iter_records needs an element name or path, not ''");
  const py::module_ io = py::module_::import("io");
  // A str is a path here: XML text in one would be opened as a file of that name.
  if (PyUnicode_Check(source.ptr())) {
    const Py_ssize_t length = PyUnicode_GetLength(source.ptr());
    Py_ssize_t start = 0;
    while (start < length && (Py_UNICODE_ISSPACE(PyUnicode_ReadChar(source.ptr(), start)) ||
                              PyUnicode_ReadChar(source.ptr(), start) == 0xFEFF))
      ++start;
    if (start < length && PyUnicode_ReadChar(source.ptr(), start) == '<')
      throw py::value_error("iter_records takes a path, a binary stream or bytes, and this str is XML text (" +
                            std::string(py::repr(source[py::slice(start, start + 40, 1)])) +
                            "...), not a path: pass its bytes, e.g. text.encode()");
  }
  // Errors name the file read, as wfhost names it: the path given, or a
  // file object's name (os.fsencode: also a name that is no UTF-8).
  const py::object fsencode = py::module_::import("os").attr("fsencode");
  const wfxml::ParseOptions options = reading.parseOptions();
  if (PyUnicode_Check(source.ptr()) || py::hasattr(source, "__fspath__")) {
    const std::string file = py::bytes(fsencode(source));
    return std::make_unique<RecordIterator>(pool_, caches_, io.attr("open")(source, "rb"), /*ownsStream=*/true, file,
                                            record, options, asJson, piece);
  }
  if (py::hasattr(source, "read")) {
    const py::object name = py::getattr(source, "name", py::none());
    const std::string file = py::isinstance<py::str>(name) ? std::string(py::bytes(fsencode(name))) : std::string();
    return std::make_unique<RecordIterator>(pool_, caches_, source, /*ownsStream=*/false, file, record, options,
                                            asJson, piece);
  }
  if (PyObject_CheckBuffer(source.ptr()))
    return std::make_unique<RecordIterator>(pool_, caches_, io.attr("BytesIO")(source), /*ownsStream=*/true,
                                            std::string(), record, options, asJson, piece);
  throw py::type_error(std::string("iter_records reads a path, a binary stream or bytes, not ") +
                       Py_TYPE(source.ptr())->tp_name);
}

std::vector<wfxml::ValidationError> BoundMessageSet::validate(const py::object& xml, const Reading& reading) {
  const DocumentBytes document(xml, reading);
  py::gil_scoped_release unlocked;
  return pool_->messageSet().validate(document.data(), document.size(), document.options());
}

std::vector<std::string> BoundMessageSet::messageNames() const { return pool_->messageSet().messageNames(); }

std::vector<std::string> BoundMessageSet::compileWarnings() const { return pool_->messageSet().compileWarnings(); }

py::bytes BoundMessageSet::dictionaryBytes() const {
  std::vector<std::uint8_t> bytes;
  {
    py::gil_scoped_release unlocked;
    bytes = pool_->messageSet().dictionaryBytes();
  }
  return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace wfxml::python
