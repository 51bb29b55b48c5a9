#ifndef WFXML_SRC_PLUGIN_H
#define WFXML_SRC_PLUGIN_H

#include "pluginloader.h"

#include <memory>
#include <string>

class BitstreamWorkerFactory;

namespace wfxml::detail {

// A wire-format library and its XML factory. Message sets share one per
// library name; it is unloaded when the last of them goes.
class Plugin {
public:
  // Throws the loader's ZelFatalException CP_PLUGIN_LOAD_ERROR.
  explicit Plugin(const std::string& nameOrPath);
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  BitstreamWorkerFactory& factory() const { return factory_; }

private:
  PluginLibrary library_;
  BitstreamWorkerFactory& factory_;
};

// The loaded library of that name (see PluginLibrary for the search),
// loading it when no message set holds it. Thread-safe.
std::shared_ptr<const Plugin> loadPlugin(const std::string& nameOrPath);

}  // namespace wfxml::detail

#endif
