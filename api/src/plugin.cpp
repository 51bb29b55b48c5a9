#include "plugin.h"

#include <map>
#include <mutex>

namespace wfxml::detail {

Plugin::Plugin(const std::string& nameOrPath) : library_(nameOrPath), factory_(*library_.factoryFor(u"XML")) {}

std::shared_ptr<const Plugin> loadPlugin(const std::string& nameOrPath) {
  static std::mutex mutex;
  // Weak: the map must not keep a library loaded after its last user.
  static std::map<std::string, std::weak_ptr<const Plugin>> loaded;
  const std::lock_guard<std::mutex> lock(mutex);
  const auto found = loaded.find(nameOrPath);
  if (found != loaded.end())
    if (std::shared_ptr<const Plugin> plugin = found->second.lock()) return plugin;
  auto plugin = std::make_shared<const Plugin>(nameOrPath);
  loaded[nameOrPath] = plugin;
  return plugin;
}

}  // namespace wfxml::detail
