#ifndef ZELLOG_H
#define ZELLOG_H

#include "zelapi.h"
#include "zelwstring.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

// Process-wide log level: above 0 user-trace events, above 2 entry, exit and
// trace lines, above 3 debug lines. 0 (the default) logs nothing. Set it
// before work starts; it is read without synchronisation.
extern ZEL_API int iEffectiveLogFilter;

// A named source of log lines (a worker's owner, a dictionary, the host).
class ZEL_API ZelNamedLogSource {
public:
  explicit ZelNamedLogSource(std::string name);
  virtual ~ZelNamedLogSource();
  const std::string& getName() const { return name_; }

private:
  std::string name_;
};

// A log source that traces under its owner's name.
class ZEL_API ZelOwnedLogSource {
public:
  explicit ZelOwnedLogSource(const ZelNamedLogSource* owner) : owner_(owner) {}
  virtual ~ZelOwnedLogSource();
  const ZelNamedLogSource* getOwner() const { return owner_; }
  void setOwner(const ZelNamedLogSource* owner) { owner_ = owner; }
  // The owner's name, or the default log-source name without owner.
  const char* getLogSourceName() const;

private:
  const ZelNamedLogSource* owner_;
};

// One argument of a log line: text (8- or 16-bit) or a number.
class ZEL_API ZelLogArg {
public:
  ZelLogArg(const char* text) : text_(text ? text : "(null)") {}
  ZelLogArg(const std::string& text) : text_(text) {}
  ZelLogArg(const char16_t* text);
  ZelLogArg(const ZelWstring& text) : text_(text.toUtf8()) {}
  ZelLogArg(long long number) : text_(std::to_string(number)) {}
  ZelLogArg(long number) : text_(std::to_string(number)) {}
  ZelLogArg(int number) : text_(std::to_string(number)) {}
  ZelLogArg(unsigned long number) : text_(std::to_string(number)) {}
  ZelLogArg(unsigned int number) : text_(std::to_string(number)) {}
  ZelLogArg(bool flag) : text_(flag ? "true" : "false") {}
  ZelLogArg(const void* pointer);
  const std::string& text() const { return text_; }

private:
  std::string text_;
};

// Log lines. Each takes the source (null: the default name), the qualified
// function name ("XMLHandler::endElement") and the line's arguments. Callers
// on hot paths test the level first (ZelLog::traceOn()) so that arguments are
// not built for nothing.
namespace ZelLog {
inline bool userTraceOn() { return iEffectiveLogFilter > 0; }
inline bool traceOn() { return iEffectiveLogFilter > 2; }
inline bool debugOn() { return iEffectiveLogFilter > 3; }

ZEL_API void entry(const ZelOwnedLogSource* source, const char* function, std::initializer_list<ZelLogArg> args = {});
ZEL_API void exit(const ZelOwnedLogSource* source, const char* function, std::initializer_list<ZelLogArg> args = {});
ZEL_API void trace(const ZelOwnedLogSource* source, const char* function, std::initializer_list<ZelLogArg> args);
ZEL_API void debug(const ZelOwnedLogSource* source, const char* function, std::initializer_list<ZelLogArg> args);
// A user-trace event with a message number and inserts.
ZEL_API void userTrace(const ZelOwnedLogSource* source, const char* function, std::uint32_t messageNumber,
                       std::initializer_list<ZelLogArg> inserts);
// A warning event (written at every level above 0).
ZEL_API void warning(const ZelOwnedLogSource* source, const char* function, std::uint32_t messageNumber,
                     std::initializer_list<ZelLogArg> inserts);

// Where lines go: stderr by default. Tests install a sink to capture them;
// pass an empty function to restore stderr.
using Sink = std::function<void(std::string_view line)>;
ZEL_API void setSink(Sink sink);
}  // namespace ZelLog

// RAII entry/exit tracing of one operation.
class ZEL_API ZelTraceScope {
public:
  ZelTraceScope(const ZelOwnedLogSource* source, const char* function) : source_(source), function_(function) {
    if (ZelLog::traceOn()) ZelLog::entry(source_, function_);
  }
  ~ZelTraceScope() {
    if (ZelLog::traceOn()) ZelLog::exit(source_, function_);
  }
  ZelTraceScope(const ZelTraceScope&) = delete;
  ZelTraceScope& operator=(const ZelTraceScope&) = delete;

private:
  const ZelOwnedLogSource* source_;
  const char* function_;
};

#endif
