#include "core/text_helpers.h"

namespace qvk {

std::string AddTrailingBackslash(const std::string& path) {
    if (!path.empty() && path.back() == '\\') return path;
    return path + "\\";
}

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

std::string FolderPartOf(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string AsciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
    if (what.empty()) return text;
    // Scanning resumes after the inserted text, so a replacement that contains the placeholder
    // is not expanded again.
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
        text.replace(at, what.size(), with);
        at += with.size();
    }
    return text;
}

std::string WithEdition(const std::string& text, const std::string& edition) {
    return ReplaceAll(text, "%logiciel%", edition);
}

std::string WithFileName(const std::string& text, const std::string& pluginName) {
    // The texts carry no blank after the placeholder (French "%fichier%a ..."): it comes with the
    // name.
    return ReplaceAll(text, "%fichier%", pluginName + " ");
}

}  // namespace qvk
