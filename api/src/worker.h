#ifndef WFXML_SRC_WORKER_H
#define WFXML_SRC_WORKER_H

#include "bitstreamworker.h"
#include "idlepool.h"
#include "messageinfo.h"
#include "zelwstring.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class DictionaryInfo;
class FIHandler;
class FIMessageTree;
class WritableBitstreamBuffer;
class ZelNamedLogSource;

namespace wfxml::detail {

// One plug-in worker, driven in the host's calling order, with the
// properties it borrows between calls. A worker reads most properties once,
// when it first parses (or writes); only the code page is read every time.
class Worker {
public:
  // All borrowed: the factory's library, the descriptor (null: none) and the
  // owner outlive the worker. Throws the factory's host exceptions.
  Worker(BitstreamWorkerFactory& factory, const DictionaryInfo* descriptor, const ZelNamedLogSource& owner);
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  BitstreamWorker& get() const { return *worker_; }

  // Whether this worker can parse (write) with these properties: it has not
  // yet, or did with the same properties apart from the code page.
  bool canParseWith(const MessageInfo& properties) const;
  bool canWriteWith(const MessageInfo& properties) const;
  // A worker that failed to parse cannot parse again.
  bool isBroken() const { return broken_; }
  // Set up with no properties but the code page, so any caller may use it.
  bool isPlain() const;
  // Healthy and plain: fit for another caller.
  bool isReusable() const { return !broken_ && isPlain(); }

  // Parses bytes into handler: initializeParse, setFIHandler, then the
  // worker's parse of the whole document (with the member path of a subtree
  // parse, if any). Host exceptions and the handler's pass through.
  void parse(const void* bytes, std::size_t size, const MessageInfo& properties, FIHandler& handler,
             const std::vector<long>* path);
  // Appends the tree's document to out (on failure, nothing).
  void write(const FIMessageTree& tree, const MessageInfo& properties, WritableBitstreamBuffer& out);

private:
  struct Release {
    void operator()(BitstreamWorker* worker) const { worker->release(/*destroy=*/true); }
  };
  using SetUp = std::map<ZelWstring, ZelWstring>;
  static SetUp setUpOf(const MessageInfo& properties);
  static bool isSetUpFor(const SetUp& setUp, const MessageInfo& properties);
  static void keep(MessageInfo& kept, const MessageInfo& properties);

  std::unique_ptr<BitstreamWorker, Release> worker_;
  // The worker keeps pointers to these from its first call on.
  MessageInfo parseProperties_;
  MessageInfo writeProperties_;
  std::optional<SetUp> parseSetUp_;
  std::optional<SetUp> writeSetUp_;
  bool broken_ = false;
};

using WorkerPool = IdlePool<Worker, &Worker::isReusable>;

}  // namespace wfxml::detail

#endif
