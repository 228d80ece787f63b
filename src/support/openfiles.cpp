#include "support/openfiles.h"

#include <map>

namespace openfiles {
namespace {
struct Registry {
    std::map<int, Closer> closers;
    int next = 1;
};

Registry& registry()
{
    static Registry r;
    return r;
}
}  // namespace

int add(Closer closer)
{
    Registry& r = registry();
    const int handle = r.next++;
    r.closers.emplace(handle, std::move(closer));
    return handle;
}

void remove(int handle)
{
    registry().closers.erase(handle);
}

void closeAll()
{
    // A closer may itself call remove(); work on a moved-out copy.
    std::map<int, Closer> closers;
    closers.swap(registry().closers);
    for (auto& [handle, closer] : closers)
        closer();
}

int count()
{
    return static_cast<int>(registry().closers.size());
}

}  // namespace openfiles
