#include "recorditerator.h"

#include <cerrno>
#include <cstdio>
#include <tuple>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace wfxml::python {
namespace {
constexpr std::size_t kChunkSize = wfxml::RecordReader::kPieceSize;
}  // namespace

RecordIterator::RecordIterator(std::shared_ptr<SessionPool> pool, std::shared_ptr<ObjectCaches> caches, py::object stream,
                               bool ownsStream, std::string file, const std::string& record,
                               const wfxml::ParseOptions& options, bool asJson, const wfxml::RecordCutter::Place& piece)
    : pool_(std::move(pool)),
      caches_(std::move(caches)),
      stream_(std::move(stream)),
      ownsStream_(ownsStream),
      file_(std::move(file)),
      asJson_(asJson),
      piece_(piece),
      reader_(record, [this] { return readChunk(); }, options) {}

RecordIterator::~RecordIterator() {
  releaseChunk();
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

void RecordIterator::releaseChunk() {
  if (chunk_.obj) PyBuffer_Release(&chunk_);
  chunk_ = Py_buffer{};
}

std::string_view RecordIterator::readChunk() {
  const py::gil_scoped_acquire locked;
  releaseChunk();
  if (!stream_) return {};
  const py::object chunk = stream_.attr("read")(kChunkSize);
  if (PyObject_GetBuffer(chunk.ptr(), &chunk_, PyBUF_SIMPLE) != 0) {
    PyErr_Clear();
    chunk_ = Py_buffer{};
    throw py::type_error(std::string("iter_records reads binary streams: read() gave ") + Py_TYPE(chunk.ptr())->tp_name +
                         ", not bytes (open the file with 'rb')");
  }
  return {static_cast<const char*>(chunk_.buf), static_cast<std::size_t>(chunk_.len)};
}

bool RecordIterator::convertNext() {
  py::gil_scoped_release unlocked;  // the source and the records take it back while they need it
  const SessionPool::Lease worker = pool_->acquire();
  if (asJson_)
    return reader_.nextJson(worker->session, [&](std::string_view json) {
      const py::gil_scoped_acquire locked;
      ready_.push_back(py::str(json.data(), json.size()));
    });
  return reader_.nextTypedData(worker->session, [&](const std::function<void(wfxml::TypedDataHandler&)>& writeTo) {
    const py::gil_scoped_acquire locked;
    PythonObjectBuilder builder(*caches_);
    writeTo(builder);
    ready_.push_back(builder.take());
  });
}

py::object RecordIterator::next() {
  while (ready_.empty() && !ended_ && !failure_) {
    try {
      ended_ = !convertNext();
    } catch (const wfxml::Error& error) {
      // Raised once the records before it are taken.
      const wfxml::Error placed = piece_.inDocument(error);
      failure_ = std::make_exception_ptr(file_.empty() ? placed : placed.inFile(file_));
    }
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
  std::vector<std::tuple<std::uint64_t, std::uint64_t, std::string, std::string, wfxml::RecordCutter::Place>> pieces;
  int error = 0;
  {
    py::gil_scoped_release unlocked;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
      error = errno;
    } else {
      wfxml::RecordCutter cutter(record, pieceSize, encoding.value_or(""));
      const wfxml::RecordCutter::PieceHandler keep = [&](const wfxml::RecordCutter::Piece& piece) {
        pieces.emplace_back(piece.begin, piece.end, std::string(piece.head), std::string(piece.tail), piece.place);
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
  for (const auto& [begin, end, head, tail, place] : pieces)
    list.append(py::make_tuple(begin, end, py::bytes(head), py::bytes(tail),
                               py::make_tuple(place.line, place.column, place.headLines, place.headColumns)));
  return list;
}

}  // namespace wfxml::python
