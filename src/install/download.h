// Fetching the ticked plugins' archives into the work folder.
#pragma once
#include <string>

#include "core/state.h"

namespace qvk {

// The download worker: fetches the archive of every marked record, one after the other, and
// asks the user whether to retry each one that fails. On return the job's count holds the
// number of archives fetched and every record that was not fetched is unmarked.
void DownloadThread(DownloadJob* job);

// The text after the last "/" of a URL (a query included): the name an archive is stored under
// in the work folder. Empty when the URL ends with "/" or holds no "/" at all.
std::string FileNameOfUrl(const std::string& url);

}  // namespace qvk
