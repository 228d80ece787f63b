#include "support/openfiles.h"

#include <map>
#include <vector>

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

void remove(int handle) { registry().closers.erase(handle); }

void closeAll()
{
    // A closer may itself call remove() or add(); run them from a copy.
    std::vector<Closer> pending;
    for (auto& entry : registry().closers)
        pending.push_back(std::move(entry.second));
    registry().closers.clear();
    for (Closer& closer : pending)
        closer();
}

int count() { return static_cast<int>(registry().closers.size()); }

}  // namespace openfiles
