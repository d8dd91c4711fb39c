// Small text helpers shared by the wizard and the workers. Texts are single-byte ANSI strings;
// nothing here depends on a locale.
#pragma once
#include <string>
#include <vector>

namespace qvk {

// "\" appended unless the path already ends with one; an empty path becomes "\".
std::string AddTrailingBackslash(const std::string& path);
// True for an empty text or one made only of blanks.
bool IsBlank(const std::string& text);
// The folder part of a file path, up to and including the last "\" or "/"; empty without one.
std::string FolderPartOf(const std::string& path);
// The file part of a path: after the last "\" or "/"; the whole path without one.
std::string FilePartOf(const std::string& path);
// ASCII-only lower case, so bytes of the ANSI code page above 127 stay as they are.
char FoldAscii(char c);
std::string AsciiLower(std::string text);
// Without the blanks and tabs at either end.
std::string Trimmed(const std::string& text);
bool StartsWith(const std::string& text, const std::string& head);
// The items one after the other, `separator` between two.
std::string Joined(const std::vector<std::string>& items, const char* separator);

// Case-sensitive replacement of every occurrence.
// Appends the UTF-8 form of a letter of the Basic Multilingual Plane.
void AppendUtf8(std::string& out, unsigned long letter);
std::string ReplaceAll(std::string text, const std::string& what, const std::string& with);
// "%logiciel%" -> edition name; "%fichier%" -> plugin name + one blank.
std::string WithEdition(const std::string& text, const std::string& edition);
std::string WithFileName(const std::string& text, const std::string& pluginName);

}  // namespace qvk
