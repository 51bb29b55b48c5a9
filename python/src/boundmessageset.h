#ifndef PYTHON_SRC_BOUNDMESSAGESET_H
#define PYTHON_SRC_BOUNDMESSAGESET_H

// What the Python class wfxml.MessageSet holds: a loaded message set and
// the pool of sessions its calls share. The GIL is released while the
// library parses, writes, compiles or loads; Python objects are made and
// read with it held.

#include "eventlist.h"
#include "objectbuilder.h"
#include "recorditerator.h"
#include "sessionpool.h"

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace wfxml::python {

// The keywords of every reading of a document. encoding: the code page, or
// None for the byte-order mark or the XML declaration (a str document is
// read as UTF-8 unless it says otherwise). validate: check against the
// schemas first (wfxml.Error CP_NOT_SCHEMA_VALID with the problems as its
// errors attribute). entity_expansion_limit: the entity references expanded
// at most, in the parse and the check alike; None for the library's limit,
// else positive (ValueError otherwise).
struct Reading {
  Reading(std::optional<std::string> encoding, bool validate, const std::optional<long long>& entityExpansionLimit);
  wfxml::ParseOptions parseOptions() const;

  std::optional<std::string> encoding;
  bool validate;
  std::size_t entityExpansionLimit;
};

class BoundMessageSet {
public:
  static BoundMessageSet compile(const std::vector<std::string>& sourcePaths, const std::vector<std::string>& catalogs);
  static BoundMessageSet load(const std::string& dictionaryPath);
  static BoundMessageSet none();

  // xml: bytes-like or str.
  pybind11::object toDict(const pybind11::object& xml, const Reading& reading);
  std::string toJson(const pybind11::object& xml, const Reading& reading);
  // The document's problems against the schemas; empty when it is valid.
  std::vector<wfxml::ValidationError> validate(const pybind11::object& xml, const Reading& reading);
  // data: typed data (a dict), or typed JSON text (str, or bytes-like in
  // UTF-8) that the library reads itself.
  pybind11::bytes toXml(const pybind11::object& data, const std::string& encoding, bool check);
  EventIterator events(const pybind11::object& xml, const Reading& reading);
  // source: a path (str or os.PathLike), a binary stream, or a document's
  // bytes; piece: where they lie in a larger document (its errors name
  // places there).
  std::unique_ptr<RecordIterator> iterRecords(const pybind11::object& source, const std::string& record,
                                              const Reading& reading, bool asJson,
                                              const wfxml::RecordCutter::Place& piece = {});

  std::vector<std::string> messageNames() const;
  std::vector<std::string> compileWarnings() const;
  pybind11::bytes dictionaryBytes() const;

private:
  explicit BoundMessageSet(wfxml::MessageSet set)
      : pool_(std::make_shared<SessionPool>(std::move(set))), caches_(std::make_shared<ObjectCaches>()) {}
  SessionPool::Lease leaseWorker();

  std::shared_ptr<SessionPool> pool_;  // shared: copies of the Python object share their sessions
  std::shared_ptr<ObjectCaches> caches_;  // to_dict's keys and values, for all threads (with the GIL)
};

}  // namespace wfxml::python

#endif
