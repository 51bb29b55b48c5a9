// The reference every parse is measured against: the progressive DG scanner
// set up as the worker sets it up, with a handler that ignores every event.
#ifndef BENCH_SUPPORT_RAWSCANNER_H
#define BENCH_SUPPORT_RAWSCANNER_H

#include <memory>
#include <string>

class RawScanner {
public:
  // doNamespaces as the worker sets it for the dictionary in use.
  explicit RawScanner(bool doNamespaces = false);
  ~RawScanner();
  RawScanner(const RawScanner&) = delete;
  RawScanner& operator=(const RawScanner&) = delete;

  // Scans bytes (borrowed for the call) token by token, as the worker does.
  // A scanner error aborts: benchmark data is well-formed.
  void scan(const std::string& bytes);

private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

#endif
