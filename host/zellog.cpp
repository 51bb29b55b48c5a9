#include "zellog.h"

#include "zelexception.h"

#include <cstdio>
#include <mutex>
#include <sstream>

int iEffectiveLogFilter = 0;

ZelNamedLogSource::ZelNamedLogSource(std::string name) : name_(std::move(name)) {}
ZelNamedLogSource::~ZelNamedLogSource() = default;

ZelOwnedLogSource::~ZelOwnedLogSource() = default;

const char* ZelOwnedLogSource::getLogSourceName() const {
  return owner_ ? owner_->getName().c_str() : zelDefaultLogSourceName();
}

ZelLogArg::ZelLogArg(const char16_t* text) : text_(text ? ZelWstring(text).toUtf8() : std::string("(null)")) {}

ZelLogArg::ZelLogArg(const void* pointer) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%p", pointer);
  text_ = buffer;
}

namespace {
std::mutex& sinkMutex() {
  static std::mutex m;
  return m;
}
ZelLog::Sink& sink() {
  static ZelLog::Sink s;
  return s;
}

void emit(const char* kind, const ZelOwnedLogSource* source, const char* function,
          std::initializer_list<ZelLogArg> args) {
  std::ostringstream line;
  line << '[' << (source ? source->getLogSourceName() : zelDefaultLogSourceName()) << "] " << kind << ' '
       << (function ? function : "");
  bool first = true;
  for (const auto& arg : args) {
    line << (first ? ": " : " ") << arg.text();
    first = false;
  }
  const std::string text = line.str();
  std::lock_guard<std::mutex> lock(sinkMutex());
  if (sink()) {
    sink()(text);
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

}  // namespace

namespace ZelLog {
void entry(const ZelOwnedLogSource* source, const char* function, std::initializer_list<ZelLogArg> args) {
  if (traceOn()) emit("entry", source, function, args);
}
void exit(const ZelOwnedLogSource* source, const char* function, std::initializer_list<ZelLogArg> args) {
  if (traceOn()) emit("exit", source, function, args);
}
void trace(const ZelOwnedLogSource* source, const char* function, std::initializer_list<ZelLogArg> args) {
  if (traceOn()) emit("trace", source, function, args);
}
void debug(const ZelOwnedLogSource* source, const char* function, std::initializer_list<ZelLogArg> args) {
  if (debugOn()) emit("debug", source, function, args);
}
void userTrace(const ZelOwnedLogSource* source, const char* function, std::uint32_t messageNumber,
               std::initializer_list<ZelLogArg> inserts) {
  if (!userTraceOn()) return;
  std::string kind = std::string("user ") + ZelMessages::keyOf(messageNumber);
  emit(kind.c_str(), source, function, inserts);
}
void warning(const ZelOwnedLogSource* source, const char* function, std::uint32_t messageNumber,
             std::initializer_list<ZelLogArg> inserts) {
  if (!userTraceOn()) return;
  std::string kind = std::string("warning ") + ZelMessages::keyOf(messageNumber);
  emit(kind.c_str(), source, function, inserts);
}
void setSink(Sink newSink) {
  std::lock_guard<std::mutex> lock(sinkMutex());
  sink() = std::move(newSink);
}
}  // namespace ZelLog
