#include "install/download.h"

namespace qvk {

std::string FileNameOfUrl(const std::string& url) {
    const auto cut = url.rfind('/');
    return cut == std::string::npos ? url : url.substr(cut + 1);
}

}  // namespace qvk
