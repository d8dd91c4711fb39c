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

std::string FilePartOf(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string AsciiLower(std::string text) {
    for (char& c : text) c = FoldAscii(c);
    return text;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool StartsWith(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}

std::string Joined(const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
    return text;
}

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
    if (what.empty()) return text;
    // One pass into a new text: linear on a whole catalogue page, and scanning resumes after
    // each inserted text, so a replacement that contains the placeholder is not expanded again.
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, from)) {
        out.append(text, from, at - from);
        out.append(with);
        from = at + what.size();
    }
    out.append(text, from, std::string::npos);
    return out;
}

std::string WithEdition(const std::string& text, const std::string& edition) {
    return ReplaceAll(text, "%logiciel%", edition);
}

std::string WithFileName(const std::string& text, const std::string& pluginName) {
    // The texts carry no blank after the placeholder (French "%fichier%a ..."): it comes with the
    // name.
    return ReplaceAll(text, "%fichier%", pluginName + " ");
}

void AppendUtf8(std::string& out, unsigned long letter) {
    if (letter < 0x80) {
        out += static_cast<char>(letter);
    } else if (letter < 0x800) {
        out += static_cast<char>(0xC0 | letter >> 6);
        out += static_cast<char>(0x80 | (letter & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | letter >> 12);
        out += static_cast<char>(0x80 | (letter >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (letter & 0x3F));
    }
}

}  // namespace qvk
