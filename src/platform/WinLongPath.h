#pragma once

#include <string>

#include "platform/Result.h"

namespace quarn {

// The full path, as the system makes it: with "/", "." and ".." resolved, which the
// \\?\ form no longer does.
Result<std::wstring> FullPathName(const std::wstring& path);

// The form of a path that every file call of the platform hands to Windows. A path
// whose full form is too long for the plain Win32 limits is made full and given the
// \\?\ (or \\?\UNC\) prefix, which lifts them; any other path stays as it is.
std::wstring LongPathForm(const std::wstring& path);

}  // namespace quarn
