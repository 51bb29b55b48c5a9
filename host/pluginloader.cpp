#include "pluginloader.h"

#include "zelexception.h"
#include "zelwstring.h"

#include <cstdlib>
#include <dlfcn.h>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {
[[noreturn]] void loadError(const std::string& name, const std::string& why) {
  ZelFatalException e(__FILE__, __LINE__, "PluginLibrary::PluginLibrary", nullptr, ZelMessages::CP_PLUGIN_LOAD_ERROR);
  e.addInsert(name).addInsert(why);
  throw e;
}

std::string programDirectory() {
  std::vector<char> path(4096);
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return {};
  std::string exe(path.data(), static_cast<std::size_t>(n));
  const auto slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

// The folder of the host library itself (this file's library), wherever it
// was loaded from: an installed or relocated tree keeps the plug-in beside it.
std::string hostLibraryDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&programDirectory), &info) == 0 || !info.dli_fname) return {};
  const std::string library = info.dli_fname;
  const auto slash = library.rfind('/');
  return slash == std::string::npos ? std::string() : library.substr(0, slash);
}

std::vector<std::string> candidates(const std::string& name) {
  if (name.find('/') != std::string::npos) return {name};
  const std::string file = "lib" + name + ".so";
  std::vector<std::string> out;
  if (const char* env = std::getenv("WF_PLUGIN_PATH")) {
    std::stringstream dirs(env);
    std::string dir;
    while (std::getline(dirs, dir, ':'))
      if (!dir.empty()) out.push_back(dir + "/" + file);
  }
  const std::string here = programDirectory();
  if (!here.empty()) {
    out.push_back(here + "/" + file);
    out.push_back(here + "/../lib/" + file);
  }
  const std::string hostLibrary = hostLibraryDirectory();
  if (!hostLibrary.empty() && hostLibrary != here) out.push_back(hostLibrary + "/" + file);
  out.push_back(file);
  return out;
}
}  // namespace

PluginLibrary::PluginLibrary(const std::string& nameOrPath) {
  std::string errors;
  for (const auto& candidate : candidates(nameOrPath)) {
    if (candidate.find('/') != std::string::npos && access(candidate.c_str(), F_OK) != 0) continue;
    handle_ = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_) {
      path_ = candidate;
      break;
    }
    errors += dlerror();
    errors += "; ";
  }
  if (!handle_) loadError(nameOrPath, errors.empty() ? "library not found" : errors);

  auto resolve = [this, &nameOrPath](const char* symbol) {
    void* address = dlsym(handle_, symbol);
    if (!address) {
      dlclose(handle_);
      handle_ = nullptr;
      loadError(nameOrPath, std::string("missing entry point ") + symbol);
    }
    return address;
  };
  getFactory_ = reinterpret_cast<GetFactoryFn>(resolve("GetFactory"));
  getNumFormats_ = reinterpret_cast<GetNumFormatsFn>(resolve("GetNumFormats"));
  getFormat_ = reinterpret_cast<GetFormatFn>(resolve("GetFormat"));
  getLevel_ = reinterpret_cast<GetLevelFn>(resolve("GetLevel"));
}

PluginLibrary::~PluginLibrary() {
  if (handle_) dlclose(handle_);
}

BitstreamWorkerFactory* PluginLibrary::factoryFor(const char16_t* formatName) const {
  BitstreamWorkerFactory* factory = nullptr;
  if (getFactory_(formatName, &factory) != 0 || !factory)
    loadError(path_, "the library does not serve the format " + ZelWstring(formatName).toUtf8());
  return factory;
}
