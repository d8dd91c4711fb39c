// Fetching the ticked plugins' archives into the work folder.
#pragma once
#include <string>

namespace qvk {

// The text after the last "/" of a URL: the name an archive is stored under in the work folder.
std::string FileNameOfUrl(const std::string& url);

}  // namespace qvk
