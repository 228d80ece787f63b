#pragma once

struct HeadlessContext;

// status [--list N] [--stale]: every symbol's last stored day per format.
int cmdStatus(HeadlessContext& context);
