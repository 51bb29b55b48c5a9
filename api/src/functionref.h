#ifndef WFXML_SRC_FUNCTIONREF_H
#define WFXML_SRC_FUNCTIONREF_H

#include <memory>
#include <type_traits>
#include <utility>

namespace wfxml::detail {

template <typename Signature>
class FunctionRef;

// A callable borrowed for the length of a call: unlike std::function it
// never copies the callable, so passing a lambda of several captures costs
// no allocation (every parse passes two).
template <typename Result, typename... Args>
class FunctionRef<Result(Args...)> {
public:
  template <typename Callable,
            typename = std::enable_if_t<!std::is_same_v<std::decay_t<Callable>, FunctionRef>>>
  FunctionRef(Callable&& callable) noexcept
      : callable_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
        call_([](void* callable, Args... args) -> Result {
          return (*static_cast<std::remove_reference_t<Callable>*>(callable))(std::forward<Args>(args)...);
        }) {}

  Result operator()(Args... args) const { return call_(callable_, std::forward<Args>(args)...); }

private:
  void* callable_;
  Result (*call_)(void*, Args...);
};

}  // namespace wfxml::detail

#endif
