// Fetching the ticked plugins' archives into the work folder.
#pragma once
#include <string>
#include <vector>

#include "core/state.h"

namespace qvk {

// The download worker: fetches the archive of every marked record, one after the other, and
// asks the user whether to retry each one that fails. On return the job's count holds the
// number of archives fetched and every record that was not fetched is unmarked.
void DownloadThread(DownloadJob* job);

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
