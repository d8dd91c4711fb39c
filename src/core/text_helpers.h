// Small text helpers shared by the wizard and the workers. Texts are single-byte ANSI strings;
// nothing here depends on a locale.
#pragma once
#include <string>

namespace qvk {

// "\" appended unless the path already ends with one; an empty path becomes "\".
std::string AddTrailingBackslash(const std::string& path);
// True for an empty text or one made only of blanks.
bool IsBlank(const std::string& text);
// The folder part of a file path, up to and including the last "\" or "/"; empty without one.
std::string FolderPartOf(const std::string& path);
// ASCII-only lower case, so bytes of the ANSI code page above 127 stay as they are.
std::string AsciiLower(std::string text);

// Case-sensitive replacement of every occurrence.
std::string ReplaceAll(std::string text, const std::string& what, const std::string& with);
// "%logiciel%" -> edition name; "%fichier%" -> plugin name + one blank.
std::string WithEdition(const std::string& text, const std::string& edition);
std::string WithFileName(const std::string& text, const std::string& pluginName);

}  // namespace qvk
