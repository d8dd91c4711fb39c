#include "install/file_names.h"

#include <cstring>

#include "core/text_helpers.h"

namespace qvk {
namespace {

bool IsEmptyOrDot(const std::string& part) { return part.empty() || part == "."; }
bool IsDotDot(const std::string& part) { return part == ".."; }

bool HoldsForbiddenCharacter(const std::string& part) {
    for (unsigned char c : part)
        if (c < 32 || std::strchr("\\/:*?\"<>|", c)) return true;
    return false;
}

bool EndsInDotOrBlank(const std::string& part) { return part.back() == '.' || part.back() == ' '; }

bool IsDeviceName(const std::string& part) {
    // Whatever extension follows, and with blanks before it.
    std::string name = part.substr(0, part.find('.'));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    name = AsciiLower(name);
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"})
        if (name == device) return true;
    if (name.compare(0, 3, "com") != 0 && name.compare(0, 3, "lpt") != 0) return false;
    // The superscript digits as a link's name holds them (the ANSI code page) and as an
    // archive's entry name does (UTF-8).
    const std::string digit = name.substr(3);
    for (const char* superscript : {"\xB9", "\xB2", "\xB3", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"})
        if (digit == superscript) return true;
    return digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9';
}

// What becomes of one part of a name between separators: the first rule that matches decides;
// a part no rule matches is kept as it is. A rule without a reason drops the part; one with a
// reason refuses the whole name, the reason going to the log and the summary.
struct PartRule {
    bool (*matches)(const std::string& part);
    const char* why;
};

const PartRule kPartRules[] = {
    {IsEmptyOrDot, nullptr},  // "a//b", "./a" and "a/./b" name what "a/b" and "a" name
    {IsDotDot, "leads to a parent folder"},
    {HoldsForbiddenCharacter, "holds a character Windows forbids"},
    {EndsInDotOrBlank, "has a part ending in a dot or blank"},
    {IsDeviceName, "names a device"},
};

const PartRule* RuleFor(const std::string& part) {
    for (const PartRule& rule : kPartRules)
        if (rule.matches(part)) return &rule;
    return nullptr;
}

EntryPath Refused(const char* why) {
    EntryPath entry;
    entry.refused = true;
    entry.why = why;
    return entry;
}

}  // namespace

bool IsPlainFileName(const std::string& name) { return RuleFor(name) == nullptr; }

bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        unsigned long code = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

EntryPath SafeEntryPath(const std::string& name, char separator) {
    if (!IsUtf8(name)) return Refused("is not UTF-8");
    std::string path = name;
    for (char& c : path)
        if (c == '/' || c == '\\') c = separator;
    const std::size_t drive = path.find(std::string(":") + separator);
    if (drive != std::string::npos) path.erase(0, drive + 2);
    if (path.empty()) return Refused("is empty");
    if (path.front() == separator) return Refused("is absolute");

    EntryPath entry;
    std::string last;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find(separator, start);
        if (end == std::string::npos) end = path.size();
        last = path.substr(start, end - start);
        start = end + 1;
        const PartRule* rule = RuleFor(last);
        if (rule && rule->why) return Refused(rule->why);
        if (rule) continue;
        if (!entry.relative.empty()) entry.relative += separator;
        entry.relative += last;
    }
    // "dir/" and "dir/." are the folder; "./" alone is the destination itself.
    entry.folder = last.empty() || last == ".";
    return entry;
}

}  // namespace qvk
