#ifndef PYTHON_SRC_RECORDITERATOR_H
#define PYTHON_SRC_RECORDITERATOR_H

// MessageSet.iter_records: the records of a document read in chunks from a
// binary stream (wfxml::RecordReader), so that memory holds one piece and
// its records, not the document.

#include "objectbuilder.h"
#include "sessionpool.h"

#include <pybind11/pybind11.h>
#include <wfxml/wfxml.h>

#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <string>

namespace wfxml::python {

class RecordIterator {
public:
  // stream: an object with read(n) giving bytes; closed at the end when
  // ownsStream. file: the file it reads, which errors name ("" for none).
  // asJson: each record as its typed JSON text, not objects. piece: where
  // the stream's document lies in a larger one, whose lines and columns its
  // errors name.
  RecordIterator(std::shared_ptr<SessionPool> pool, std::shared_ptr<ObjectCaches> caches, pybind11::object stream,
                 bool ownsStream, std::string file, const std::string& record, const wfxml::ParseOptions& options,
                 bool asJson, const wfxml::RecordCutter::Place& piece);
  RecordIterator(const RecordIterator&) = delete;
  RecordIterator& operator=(const RecordIterator&) = delete;
  ~RecordIterator();

  // The next record; throws pybind11::stop_iteration at the end, and the
  // parse's error after the records before the fault. GIL held.
  pybind11::object next();

private:
  // The stream's next chunk for the reader, held until the next call.
  std::string_view readChunk();
  void releaseChunk();
  // Converts the next piece into ready_; false at the end of the stream.
  bool convertNext();
  void close();

  std::shared_ptr<SessionPool> pool_;
  std::shared_ptr<ObjectCaches> caches_;
  pybind11::object stream_;
  bool ownsStream_;
  std::string file_;
  bool asJson_;
  wfxml::RecordCutter::Place piece_;
  Py_buffer chunk_{};
  wfxml::RecordReader reader_;
  std::deque<pybind11::object> ready_;
  std::exception_ptr failure_;  // raised once the records before it are taken
  bool ended_ = false;
};

// The pieces RecordCutter cuts the file at path into (see there), as
// (begin, end, head, tail, place) with head and tail bytes and place
// (line, column, head lines, head columns) as RecordCutter::Place: where a document's
// records may be shared among workers. Reads the file without the GIL;
// raises OSError when it cannot be read.
pybind11::list recordPieces(const std::string& path, const std::string& record, std::size_t pieceSize,
                            const std::optional<std::string>& encoding);

}  // namespace wfxml::python

#endif
