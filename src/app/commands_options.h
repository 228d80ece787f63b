#pragma once

struct HeadlessContext;

int cmdOptions(HeadlessContext& context);
int cmdOption(HeadlessContext& context);
int cmdDownloadLists(HeadlessContext& context);
