#pragma once

struct HeadlessContext;

int cmdDownload(HeadlessContext& context);
