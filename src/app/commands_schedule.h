#pragma once

struct HeadlessContext;

int cmdSchedule(HeadlessContext& context);
