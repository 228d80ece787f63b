#pragma once

#include <functional>

class CancelToken;

// The program runs on one thread. Long loops hand control back to the event
// loop at their yield points so the windows stay responsive, and look at
// their cancel token right after.

// Processes pending events once.
void yieldToGui();

// Spins the event loop until `done` returns true, `cancel` (when given) is
// cancelled, or `timeoutMs` passes (negative: no limit). Returns true when
// `done` held.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = -1, const CancelToken* cancel = nullptr);

// Spins the event loop for `ms` milliseconds, returning early (false) when
// `cancel` is cancelled.
bool pause(int ms, const CancelToken* cancel = nullptr);
