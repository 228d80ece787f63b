#pragma once

#include <functional>

// The program runs on one thread. Long loops hand control back to the event
// loop at their yield points so the windows stay responsive, and check the
// abort flag right after.

// Processes pending events once.
void yieldToGui();

enum class AbortFlag { Honour, Ignore };

// Spins the event loop until `done` returns true, the abort flag is set
// (unless told to ignore it: work already started must be let finish), or
// `timeoutMs` passes (negative: no limit). Returns true when `done` held.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = -1, AbortFlag abort = AbortFlag::Honour);

// Spins the event loop for `ms` milliseconds, returning early (false) when
// the abort flag is set.
bool pause(int ms);
