#pragma once

struct HeadlessContext;

int cmdMetastock(HeadlessContext& context);
