// Fetching the ticked plugins' archives into the work folder.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "core/shutdown_gate.h"
#include "core/state.h"
#include "kitehttp.h"

namespace qvk {

// The download worker: fetches the archive of every marked record, one after the other, and
// asks the user whether to retry each one that fails. On return the job's count holds the
// number of archives fetched and every record that was not fetched is unmarked. With more than
// one connection in the job, several at once (download_pool.h).
void DownloadThread(DownloadJob* job);

// The steps of one record's download, shared by both ways of fetching (all log as they go):
// its work file named, taken and cleared of an earlier attempt's file; a transfer set up the
// way every download's is; and the attempts until one succeeds or the user declines to retry
// (true when the archive was fetched). `section` is let go while the question is asked.
std::string PrepareWorkFile(PluginRecord& record, std::vector<std::string>& taken,
                            const std::string& workDir);
void PrepareTransfer(kite::HttpTransfer& transfer, void (*callback)(kite::HttpTransfer*));
bool FetchArchive(PluginRecord& record, const std::string& path, kite::HttpTransfer& transfer,
                  std::optional<WorkSection>& section);

// The text after the last "/" of a URL (a query included). Empty when the URL ends with "/" or
// holds no "/" at all.
std::string FileNameOfUrl(const std::string& url);

// The name an archive is stored under in the work folder: the last part of its link's path (the
// query and a fragment are the server's business, not a file name), or "plugin.zip" when that
// part is empty or no plain file name. A name already taken in this run, letter case aside, or
// one that is another's transfer file (name + ".part"), gets " (2)", " (3)"... before its
// extension: no two downloads of one run share a file.
std::string WorkFileName(const std::string& url, const std::vector<std::string>& taken);

}  // namespace qvk
