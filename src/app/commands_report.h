#pragma once

struct HeadlessContext;

int cmdReport(HeadlessContext& context);
