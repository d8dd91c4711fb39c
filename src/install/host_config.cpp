#include "install/host_config.h"

#include <climits>
#include <cstddef>
#include <cstdio>

#include "core/text_helpers.h"
#include "platform/files.h"

namespace qvk {
namespace {

const char kUtf8Mark[] = "\xEF\xBB\xBF";
const char kBlanks[] = " \t";

// Optional sign, then digits up to the first other character; saturates rather than overflows.
long DecimalValue(const std::string& text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        value = value > (LONG_MAX - digit) / 10 ? LONG_MAX : value * 10 + digit;
    }
    return negative ? -value : value;
}

std::string ReadAll(std::FILE* file, bool& failed) {
    std::string bytes;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, got);
    failed = std::ferror(file) != 0;
    return bytes;
}

// The new text goes into a file beside the old one, which it then replaces in one step: a stop
// at any moment leaves either the user's file or the complete new one, never a part of either.
bool ReplaceWith(const std::string& path, const std::string& text) {
    const std::string beside = path + ".new";
    bool ok;
    {
        // The system's own calls, each looked at, and the bytes on the disk before the replace:
        // a full disk must leave the user's settings as they were, not an empty file.
        platform::WrittenFile out(beside);
        if (!out.Good()) return false;
        out.Write(text.data(), text.size());
        ok = out.Close(true);
    }
    if (ok && platform::MoveFileOver(beside, path)) return true;
    platform::RemoveFile(beside);
    return false;
}

}  // namespace

bool IniFile::Read(const std::string& bytes) {
    items_.clear();
    written_ = false;
    bom_ = false;
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0 ||
        bytes.find('\0') != std::string::npos)
        return false;
    bom_ = bytes.compare(0, 3, kUtf8Mark) == 0;
    size_t pos = bom_ ? 3 : 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = bytes.size();
        const size_t start = bytes.find_first_not_of(kBlanks, pos);
        if (start < end) {
            const std::string text = bytes.substr(start, end - start);
            const size_t equals = text.find('=');
            if (text[0] == ';') {
                const size_t from = text.compare(0, 2, "; ") == 0 ? 2 : 1;
                items_.push_back({Kind::Comment, text.substr(from), ""});
            } else if (text[0] == '[') {
                items_.push_back({Kind::Group, text.substr(1, text.find(']') - 1), ""});
            } else if (equals == std::string::npos) {
                items_.push_back({Kind::Text, text, ""});
            } else {
                std::string key = text.substr(0, equals);
                key.erase(key.find_last_not_of(kBlanks) + 1);
                const size_t value = text.find_first_not_of(kBlanks, equals + 1);
                items_.push_back(
                    {Kind::Entry, key, value == std::string::npos ? "" : text.substr(value)});
            }
        }
        // CR, LF or CR LF ends a line.
        pos = end + 1;
        if (end < bytes.size() && bytes[end] == '\r' && pos < bytes.size() && bytes[pos] == '\n')
            ++pos;
    }
    return true;
}

void IniFile::SelectGroup(const std::string& name) { group_ = name; }

size_t IniFile::GroupHeader() const {
    const std::string wanted = AsciiLower(group_);
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].kind == Kind::Group && AsciiLower(items_[i].name) == wanted) return i;
    return items_.size();
}

size_t IniFile::GroupEnd(size_t header) const {
    size_t i = header + 1;
    while (i < items_.size() && items_[i].kind != Kind::Group) ++i;
    return i;
}

size_t IniFile::FindKey(const std::string& key) const {
    const size_t header = GroupHeader();
    if (header == items_.size()) return items_.size();
    const std::string wanted = AsciiLower(key);
    const size_t end = GroupEnd(header);
    for (size_t i = header + 1; i < end; ++i)
        if (items_[i].kind == Kind::Entry && AsciiLower(items_[i].name) == wanted) return i;
    return items_.size();
}

long IniFile::ReadInteger(const std::string& key, long fallback) const {
    const size_t at = FindKey(key);
    return at == items_.size() ? fallback : DecimalValue(items_[at].value);
}

void IniFile::WriteString(const std::string& key, const std::string& value) {
    written_ = true;
    if (GroupHeader() == items_.size()) items_.push_back({Kind::Group, group_, ""});
    const size_t at = FindKey(key);
    if (at != items_.size()) {
        items_[at].name = key;
        items_[at].value = value;
    } else {
        const auto end = static_cast<std::ptrdiff_t>(GroupEnd(GroupHeader()));
        items_.insert(items_.begin() + end, {Kind::Entry, key, value});
    }
}

std::string IniFile::Text() const {
    std::string out = bom_ ? std::string(kUtf8Mark) + "\r\n" : std::string();
    for (const Item& item : items_) {
        switch (item.kind) {
            case Kind::Group: out += "[" + item.name + "]"; break;
            case Kind::Comment: out += "; " + item.name; break;
            case Kind::Entry: out += item.name + " = " + item.value; break;
            case Kind::Text: out += item.name; break;
        }
        out += "\r\n";
    }
    return out;
}

ConfigUpdate UpdateHostConfiguration(const std::string& folder) {
    const std::string path = folder + kHostConfigName;
    if (platform::FileSize(path) < 0) return ConfigUpdate::Missing;
    // Asking for write access up front tells a file that must never be replaced (read-only, or
    // held by another program) before anything is changed.
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    const bool writable = file != nullptr;
    if (!file) file = std::fopen(path.c_str(), "rb");
    if (!file) return ConfigUpdate::Missing;
    bool readFailed = false;
    const std::string bytes = ReadAll(file, readFailed);
    std::fclose(file);

    IniFile ini;
    if (readFailed || !ini.Read(bytes)) return ConfigUpdate::Unreadable;
    ini.SelectGroup("Plugins");
    for (const char* key : {"PluginsBar", "LoadPlugins"})
        if (ini.ReadInteger(key, 0) != 1) ini.WriteString(key, "1");
    if (!ini.Written()) return ConfigUpdate::Unchanged;
    if (!writable) return ConfigUpdate::NotWritten;
    return ReplaceWith(path, ini.Text()) ? ConfigUpdate::Rewritten : ConfigUpdate::NotWritten;
}

}  // namespace qvk
