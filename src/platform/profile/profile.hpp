#pragma once

// Keys of INI ("private profile") files, read and written by the rules of the
// platform functions GetPrivateProfileStringA and WritePrivateProfileStringA:
//
// - A section starts with a line "[name]"; a key is a line "key=value" inside
//   a section. Lines before the first section belong to no section.
// - Section and key names match regardless of ASCII case; blanks around names
//   and values do not count; a value in matching double or single quotes loses
//   them. Lines may end in CR LF, CR or LF. The first matching section and, in
//   it, the first matching key win.
// - A write changes only the one line of the key, or adds one: a new key right
//   after the last line of its section, a new section with its key at the end
//   of the file. Lines written end in CR LF; every other byte of the file stays
//   as it was.
//
// Names and values are byte strings in the ANSI code page.

#include <cstddef>
#include <filesystem>
#include <string_view>

#include "text/text.hpp"

namespace tralvex {

// The value of `key` in `section` of `file`, or `defaultValue` without its
// trailing blanks when the file, the section or the key is missing or the file
// cannot be read. Like the platform function filling a buffer of `bufferSize`
// bytes, the result holds at most bufferSize - 1 bytes; it is cut before a
// double-byte character that would not fit whole, and at a zero byte.
Text GetPrivateProfileString(std::string_view section, std::string_view key,
                             std::string_view defaultValue, std::size_t bufferSize,
                             const std::filesystem::path& file);

// Sets `key` in `section` of `file` to `value`, creating the file (mode 0600,
// owner read/write only) and the section when they are missing. The new
// content replaces the old one whole, through a temporary file renamed over
// it, so the file holds either the old or the new content, never a part.
// A value that reading would change (blanks at its ends, or matching quotes
// around it) is written in double quotes so that it reads back as given.
// Returns false and leaves the file as it was when the file cannot be read or
// replaced, when a name is empty, or when a name or the value holds a byte
// that would break the line structure (CR, LF, NUL, "]" in a section name,
// "=" in a key name, "[" at the start of a key name).
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::filesystem::path& file);

}  // namespace tralvex
