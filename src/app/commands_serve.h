#pragma once

struct HeadlessContext;

int cmdServe(HeadlessContext& c);
