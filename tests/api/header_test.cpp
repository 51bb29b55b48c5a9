// The public headers stand on their own (each first, one twice), and the
// handles have the ownership the header promises: compile-time checks.
#include "wfxml/wfxml.h"
#include "wfxml/wfxml.h"
#include "wfxml/host.h"

#include <type_traits>

static_assert(std::is_nothrow_move_constructible_v<wfxml::Message> && !std::is_copy_constructible_v<wfxml::Message>,
              "a Message owns its tree: moved, never copied");
static_assert(std::is_nothrow_move_constructible_v<wfxml::Session> && !std::is_copy_constructible_v<wfxml::Session>,
              "a Session owns its worker: moved, never copied");
static_assert(std::is_trivially_copyable_v<wfxml::Element> && sizeof(wfxml::Element) == 2 * sizeof(void*),
              "an Element is a borrowed handle of two pointers");
static_assert(std::is_trivially_copyable_v<wfxml::Value>, "a Value is a borrowed view");
static_assert(std::is_copy_constructible_v<wfxml::MessageSet>, "MessageSet copies share one dictionary");
