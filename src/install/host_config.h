// The editor's configuration file "Quorvane.ini": the INI model the installer reads and writes,
// and the update that switches plugin loading on.
#pragma once
#include <string>
#include <vector>

namespace qvk {

inline constexpr const char* kHostConfigName = "Quorvane.ini";

// An INI file held as the ordered list of its comments, group headers and entries. Reading
// drops empty lines and leading blanks; writing back gives every item one normalised line.
class IniFile {
public:
    // False, and nothing held, for bytes the model could not write back faithfully: UTF-16 text
    // (its byte-order mark) or any zero byte.
    bool Read(const std::string& bytes);
    void SelectGroup(const std::string& name);
    // The usual decimal reading of the key's value in the selected group; `fallback` when the
    // key or the group is missing.
    long ReadInteger(const std::string& key, long fallback) const;
    void WriteString(const std::string& key, const std::string& value);
    bool Written() const { return written_; }
    // The whole file in its normalised form.
    std::string Text() const;

private:
    // `Text` is a line with no "=" that is neither comment nor header: kept as it was read
    // rather than turned into a key with an empty value.
    enum class Kind { Comment, Group, Entry, Text };
    struct Item {
        Kind kind;
        std::string name;  // comment text, group name, key or kept line
        std::string value;
    };
    size_t GroupHeader() const;  // index of the selected group's header, or items_.size()
    size_t GroupEnd(size_t header) const;
    size_t FindKey(const std::string& key) const;

    std::vector<Item> items_;
    std::string group_;
    bool bom_ = false;
    bool written_ = false;
};

// What became of one update; the update itself reports nothing to the user.
enum class ConfigUpdate {
    Missing,     // no file in the folder (or not openable): nothing created
    Unchanged,   // both switches already on: not a byte written
    Rewritten,   // the normalised file replaced the old one in one step
    NotWritten,  // read-only, or the new text could not be written: the file is as it was
    Unreadable,  // not text the model holds faithfully: left untouched
};

// Sets "PluginsBar" and "LoadPlugins" of the group "Plugins" to 1 in folder + "Quorvane.ini";
// `folder` ends with the path separator.
ConfigUpdate UpdateHostConfiguration(const std::string& folder);

}  // namespace qvk
