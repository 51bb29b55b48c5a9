#include "recorditerator.h"

#include <cerrno>
#include <cstdio>
#include <tuple>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace wfxml::python {
namespace {
// A piece ends after the first record past this size: small enough that a
// piece's Python objects stay a few megabytes, large enough that the parse
// of its head costs nothing.
constexpr std::size_t kPieceSize = 256 * 1024;
constexpr std::size_t kChunkSize = 256 * 1024;
}  // namespace

RecordIterator::RecordIterator(std::shared_ptr<SessionPool> pool, std::shared_ptr<KeyCache> keys, py::object stream,
                               bool ownsStream, const std::string& record, const std::optional<std::string>& encoding,
                               bool asJson)
    : pool_(std::move(pool)),
      keys_(std::move(keys)),
      stream_(std::move(stream)),
      ownsStream_(ownsStream),
      record_(record),
      asJson_(asJson),
      cutter_(record, kPieceSize, encoding.value_or("")),
      onPiece_([this](const wfxml::RecordCutter::Piece& piece) { convert(piece); }) {
  if (encoding) options_.encoding = *encoding;
}

RecordIterator::~RecordIterator() {
  try {
    close();
  } catch (const py::error_already_set&) {
    // A stream that fails to close has nothing more to give.
  }
}

void RecordIterator::close() {
  if (ownsStream_ && stream_) stream_.attr("close")();
  stream_ = py::object();
}

bool RecordIterator::readMore() {
  const py::object chunk = stream_.attr("read")(kChunkSize);
  Py_buffer view{};
  if (PyObject_GetBuffer(chunk.ptr(), &view, PyBUF_SIMPLE) != 0) {
    PyErr_Clear();
    throw py::type_error(std::string("iter_records reads binary streams: read() gave ") + Py_TYPE(chunk.ptr())->tp_name +
                         ", not bytes (open the file with 'rb')");
  }
  const std::size_t size = static_cast<std::size_t>(view.len);
  try {
    if (size > 0) cutter_.feed(view.buf, size, onPiece_);
  } catch (...) {
    PyBuffer_Release(&view);
    throw;
  }
  PyBuffer_Release(&view);
  if (size > 0) return true;
  cutter_.finish(onPiece_);
  return false;
}

void RecordIterator::convert(const wfxml::RecordCutter::Piece& piece) {
  if (failure_) return;  // nothing after the fault
  std::string document;
  document.reserve(piece.head.size() + piece.bytes.size() + piece.tail.size());
  document.append(piece.head).append(piece.bytes).append(piece.tail);
  const SessionPool::Lease worker = [&] {
    py::gil_scoped_release unlocked;  // a new session starts a worker
    return pool_->acquire();
  }();
  py::gil_scoped_release unlocked;
  try {
    if (asJson_) {
      worker->session.toJsonRecords(document.data(), document.size(), record_, [&](std::string_view json) {
        const py::gil_scoped_acquire locked;
        ready_.push_back(py::str(json.data(), json.size()));
      }, options_);
      return;
    }
    worker->session.toTypedDataRecords(
        document.data(), document.size(), record_, [&](const std::function<void(wfxml::TypedDataHandler&)>& writeTo) {
          const py::gil_scoped_acquire locked;
          PythonObjectBuilder builder(*keys_);
          writeTo(builder);
          ready_.push_back(builder.take());
        },
        options_);
  } catch (const wfxml::Error&) {
    failure_ = std::current_exception();
  }
}

py::object RecordIterator::next() {
  while (ready_.empty() && !ended_ && !failure_) {
    ended_ = !readMore();
    if (ended_) close();
  }
  if (!ready_.empty()) {
    py::object record = std::move(ready_.front());
    ready_.pop_front();
    return record;
  }
  if (failure_) {
    ended_ = true;
    close();
    std::rethrow_exception(std::exchange(failure_, nullptr));
  }
  throw py::stop_iteration();
}

py::list recordPieces(const std::string& path, const std::string& record, std::size_t pieceSize,
                      const std::optional<std::string>& encoding) {
  std::vector<std::tuple<std::uint64_t, std::uint64_t, std::string, std::string>> pieces;
  int error = 0;
  {
    py::gil_scoped_release unlocked;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
      error = errno;
    } else {
      wfxml::RecordCutter cutter(record, pieceSize, encoding.value_or(""));
      const wfxml::RecordCutter::PieceHandler keep = [&](const wfxml::RecordCutter::Piece& piece) {
        pieces.emplace_back(piece.begin, piece.end, std::string(piece.head), std::string(piece.tail));
      };
      std::vector<char> chunk(kChunkSize);
      std::size_t size = 0;
      while ((size = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) cutter.feed(chunk.data(), size, keep);
      if (std::ferror(file.get())) error = errno ? errno : EIO;
      cutter.finish(keep);
    }
  }
  if (error != 0) {
    errno = error;
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
    throw py::error_already_set();
  }
  py::list list;
  for (const auto& [begin, end, head, tail] : pieces) list.append(py::make_tuple(begin, end, py::bytes(head), py::bytes(tail)));
  return list;
}

}  // namespace wfxml::python
