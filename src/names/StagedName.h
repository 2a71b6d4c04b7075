#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "common/WindowsNames.h"

namespace quarn {

// A made name leaves room for "~" and a counter of up to seven digits.
inline constexpr std::size_t kLongestMadeName = kLongestFileName - 8;

// The name a log's copy is first offered: the containing folder's name without dots,
// then the file name ("D:\Mail\acct.one\in.bkl" gives "acctonein.bkl"); a log in a
// drive's root gives its file name alone. Characters no file name may hold and
// trailing spaces and dots are left out, a device name such as "con" gets "_", and
// a name too long is shortened, keeping its extension. None when the path has no
// "\" or no fit name can be made of it.
std::optional<std::wstring> FlattenedName(const std::wstring& fullPath);

// True for a name that a copy in the staging folder and an archive entry may have:
// a whole file name with the extension .bkl or .bks, no character that a file name
// cannot hold, no trailing space or dot, and no device name.
bool IsFitStagedName(const std::wstring& name);

// The name under which the archive keeps an earlier version of a log's entry:
// "Inboxin.bkl" kept on 2026-12-08 is "Inboxin.2026-12-08.bkl", and a second one that
// day "Inboxin.2026-12-08-2.bkl"; a name too long loses the end of its stem.
std::wstring KeptName(const std::wstring& name, const std::wstring& date, int counter);

// "~2", "~3", ... before the extension: the same name made unique.
std::wstring WithCounter(const std::wstring& name, int counter);

}  // namespace quarn
