#pragma once

struct HeadlessContext;

// download history ... (the arguments after "download")
int cmdDownloadHistory(HeadlessContext& context);
// report history
int cmdReportHistory(HeadlessContext& context);
