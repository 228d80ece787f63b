#pragma once

struct HeadlessContext;

int cmdCompact(HeadlessContext& context);
int cmdHelp(HeadlessContext& context);
int cmdCheckUpdate(HeadlessContext& context);
int cmdHelpUpdate(HeadlessContext& context);
