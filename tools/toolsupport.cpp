#include "toolsupport.h"

#include "wfxml/wfxml.h"
#include "zelexception.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <ostream>

std::string ArgumentList::takeValue(const std::string& option) {
  if (empty()) throw UsageError(option + " needs a value");
  return take();
}

long ArgumentList::toNumber(const std::string& option, const std::string& text) {
  std::size_t used = 0;
  long value = 0;
  try {
    value = std::stol(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size()) throw UsageError(option + " needs a number, not '" + text + "'");
  return value;
}

bool readHostOption(const std::string& arg, ArgumentList& args, HostOptions& options) {
  if (arg == "--trace") {
    options.traceLevel = static_cast<int>(ArgumentList::toNumber(arg, args.takeValue(arg)));
  } else if (arg == "--plugin") {
    options.plugin = args.takeValue(arg);
  } else {
    return false;
  }
  return true;
}

namespace {
[[noreturn]] void throwIoError(const char* function, const std::string& path, const char* reason) {
  ZelException e(__FILE__, __LINE__, function, nullptr, ZelMessages::CP_IO_ERROR);
  e.addInsert(path).addInsert(reason);
  throw e;
}
}  // namespace

std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throwIoError("readFile", path, std::strerror(errno));
  // A folder opens like a file and reads as nothing.
  if (std::filesystem::is_directory(path)) throwIoError("readFile", path, std::strerror(EISDIR));
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  if (path == "-") {
    std::cout.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::cout.flush();
    return;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throwIoError("writeFile", path, std::strerror(errno));
}

void printHostException(std::ostream& out, const ZelException& e) {
  char number[16];
  std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(e.getMessageNumber()));
  out << "wfhost: " << e.className() << ' ' << e.getKey() << " (" << number << ") in " << e.getFunction() << " ["
      << e.getSourceFile() << ':' << e.getLine() << "]\n";
  const auto& inserts = e.getInserts();
  for (std::size_t i = 0; i < inserts.size(); ++i) out << "  insert " << i + 1 << ": " << inserts[i].toUtf8() << '\n';
}

void printError(std::ostream& out, const wfxml::Error& e) {
  if (e.hostException()) {
    try {
      std::rethrow_exception(e.hostException());
    } catch (const ZelException& host) {
      printHostException(out, host);
      return;
    } catch (...) {
    }
  }
  char number[16];
  std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(e.number()));
  out << "wfhost: " << e.key() << " (" << number << ")\n";
  for (std::size_t i = 0; i < e.inserts().size(); ++i) out << "  insert " << i + 1 << ": " << e.inserts()[i] << '\n';
}
