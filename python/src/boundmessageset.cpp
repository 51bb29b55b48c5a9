#include "boundmessageset.h"

#include "datareader.h"
#include "errors.h"
#include "objectbuilder.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace py = pybind11;

namespace wfxml::python {
namespace {

// The bytes of a document: a bytes-like object's own buffer (held, so that
// it cannot be resized while the GIL is released) or a str's UTF-8.
class DocumentBytes {
public:
  DocumentBytes(py::handle xml, const std::optional<std::string>& encoding, bool validate = false) {
    options_.validate = validate;
    // bytes and str are no paths; asking them for __fspath__ would cost a
    // raised and cleared AttributeError per call.
    if (!PyBytes_CheckExact(xml.ptr()) && !PyUnicode_CheckExact(xml.ptr()) && py::hasattr(xml, "__fspath__"))
      throw py::type_error("a document is bytes or str, not a path (" + std::string(py::str(xml)) +
                           "): pass the file's bytes, e.g. pathlib.Path(path).read_bytes()");
    if (PyUnicode_Check(xml.ptr())) {
      Py_ssize_t size = 0;
      const char* utf8 = PyUnicode_AsUTF8AndSize(xml.ptr(), &size);
      if (utf8 == nullptr) {
        // A lone surrogate: its three bytes, which the parse refuses, naming the place.
        PyErr_Clear();
        surrogates_ = py::reinterpret_steal<py::object>(PyUnicode_AsEncodedString(xml.ptr(), "utf-8", "surrogatepass"));
        if (!surrogates_) throw py::error_already_set();
        utf8 = PyBytes_AS_STRING(surrogates_.ptr());
        size = PyBytes_GET_SIZE(surrogates_.ptr());
      }
      // XML text holds markup; a str without any is taken for a file name.
      if (size > 0 && std::string_view(utf8, static_cast<std::size_t>(size)).find('<') == std::string_view::npos)
        throw py::value_error("a document is XML text, and '" + std::string(utf8, std::min<Py_ssize_t>(size, 80)) +
                              "' holds no markup: a path? pass the file's bytes, e.g. "
                              "pathlib.Path(path).read_bytes()");
      data_ = utf8;
      size_ = static_cast<std::size_t>(size);
      options_.encoding = encoding.value_or("utf-8");
      text_ = py::reinterpret_borrow<py::object>(xml);
      return;
    }
    if (PyObject_GetBuffer(xml.ptr(), &view_, PyBUF_SIMPLE) != 0) {
      PyErr_Clear();
      throw py::type_error(std::string("a document is bytes, bytearray, memoryview or str, not ") +
                           Py_TYPE(xml.ptr())->tp_name);
    }
    hasView_ = true;
    data_ = view_.buf;
    size_ = static_cast<std::size_t>(view_.len);
    if (encoding) options_.encoding = *encoding;
  }
  DocumentBytes(const DocumentBytes&) = delete;
  DocumentBytes& operator=(const DocumentBytes&) = delete;
  ~DocumentBytes() {
    if (hasView_) PyBuffer_Release(&view_);
  }

  const void* data() const { return data_; }
  std::size_t size() const { return size_; }
  const wfxml::ParseOptions& options() const { return options_; }

private:
  Py_buffer view_{};
  bool hasView_ = false;
  py::object text_;  // keeps a str's UTF-8 alive
  py::object surrogates_;  // or the bytes of one with a lone surrogate
  const void* data_ = nullptr;
  std::size_t size_ = 0;
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

SessionPool::Lease BoundMessageSet::leaseWorker() {
  py::gil_scoped_release unlocked;  // a new session starts a worker, which takes a while
  return pool_->acquire();
}

py::object BoundMessageSet::toDict(const py::object& xml, const std::optional<std::string>& encoding, bool validate) {
  const SessionPool::Lease worker = leaseWorker();
  const DocumentBytes document(xml, encoding, validate);
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

std::string BoundMessageSet::toJson(const py::object& xml, const std::optional<std::string>& encoding, bool validate) {
  const SessionPool::Lease worker = leaseWorker();
  const DocumentBytes document(xml, encoding, validate);
  py::gil_scoped_release unlocked;
  return worker->session.toJson(document.data(), document.size(), document.options());
}

py::bytes BoundMessageSet::toXml(const py::object& data, const std::string& encoding, bool check) {
  const SessionPool::Lease worker = leaseWorker();
  PythonDataReader reader;
  std::vector<std::uint8_t> out;
  try {
    const std::unique_ptr<wfxml::Session::Builder> builder = worker->session.typedDataBuilder({check});
    reader.read(data, *builder);
    const wfxml::Message message = builder->finish();
    py::gil_scoped_release unlocked;
    wfxml::WriteOptions options;
    options.encoding = encoding;
    options.check = check;
    worker->session.write(message, out, options);
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
      raiseError(error, where, /*inMessage=*/true);
    }
    raiseError(error, where, /*inMessage=*/false);
  }
  return py::bytes(reinterpret_cast<const char*>(out.data()), out.size());
}

EventIterator BoundMessageSet::events(const py::object& xml, const std::optional<std::string>& encoding) {
  const SessionPool::Lease worker = leaseWorker();
  const DocumentBytes document(xml, encoding);
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
                                                             const wfxml::ParseOptions& options, bool asJson,
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
  if (PyUnicode_Check(source.ptr()) || py::hasattr(source, "__fspath__"))
    return std::make_unique<RecordIterator>(pool_, caches_, io.attr("open")(source, "rb"), /*ownsStream=*/true, record,
                                            options, asJson, piece);
  if (py::hasattr(source, "read"))
    return std::make_unique<RecordIterator>(pool_, caches_, source, /*ownsStream=*/false, record, options, asJson,
                                            piece);
  if (PyObject_CheckBuffer(source.ptr()))
    return std::make_unique<RecordIterator>(pool_, caches_, io.attr("BytesIO")(source), /*ownsStream=*/true, record,
                                            options, asJson, piece);
  throw py::type_error(std::string("iter_records reads a path, a binary stream or bytes, not ") +
                       Py_TYPE(source.ptr())->tp_name);
}

std::vector<wfxml::ValidationError> BoundMessageSet::validate(const py::object& xml,
                                                              const std::optional<std::string>& encoding) {
  const DocumentBytes document(xml, encoding);
  py::gil_scoped_release unlocked;
  return pool_->messageSet().validate(document.data(), document.size(), document.options());
}

std::vector<std::string> BoundMessageSet::messageNames() const { return pool_->messageSet().messageNames(); }

py::bytes BoundMessageSet::dictionaryBytes() const {
  std::vector<std::uint8_t> bytes;
  {
    py::gil_scoped_release unlocked;
    bytes = pool_->messageSet().dictionaryBytes();
  }
  return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace wfxml::python
