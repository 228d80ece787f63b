#pragma once

#include <functional>

// Files the program keeps open across steps (the log, the append files of a
// run). "Close every open file" - the abort path of the error dialog and the
// start of a run - closes all of them through this registry.
namespace openfiles {

using Closer = std::function<void()>;

// Registers a closer; returns a handle for remove().
int add(Closer closer);
void remove(int handle);

// Runs every registered closer once and forgets them.
void closeAll();

int count();

}  // namespace openfiles
