#ifndef PLUGINLOADER_H
#define PLUGINLOADER_H

#include "bitstreamworker.h"
#include "zelapi.h"

#include <string>

// A wire-format library loaded with dlopen, with its four entry points
// resolved. Unloaded when the object is destroyed: everything obtained from
// the library (factory, workers, descriptors) must be gone by then.
class ZEL_API PluginLibrary {
public:
  // Opens a library by path (anything containing '/') or by short name:
  // "pwfxml" is looked up as libpwfxml.so in $WF_PLUGIN_PATH (colon
  // separated), then next to the running program and in ../lib from it, then
  // next to the host library, then by the system's search rules. Throws ZelFatalException
  // CP_PLUGIN_LOAD_ERROR (inserts: the name, the loader's message) when the
  // library or one of the four functions cannot be found.
  explicit PluginLibrary(const std::string& nameOrPath);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  const std::string& path() const { return path_; }
  GetFactoryFn getFactory() const { return getFactory_; }
  GetNumFormatsFn getNumFormats() const { return getNumFormats_; }
  GetFormatFn getFormat() const { return getFormat_; }
  GetLevelFn getLevel() const { return getLevel_; }

  // The factory for a format name; throws CP_PLUGIN_LOAD_ERROR when the
  // library does not serve that format.
  BitstreamWorkerFactory* factoryFor(const char16_t* formatName) const;

private:
  void* handle_ = nullptr;
  std::string path_;
  GetFactoryFn getFactory_ = nullptr;
  GetNumFormatsFn getNumFormats_ = nullptr;
  GetFormatFn getFormat_ = nullptr;
  GetLevelFn getLevel_ = nullptr;
};

#endif
