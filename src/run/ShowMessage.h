#pragma once

#include <string>

namespace quarn {

inline constexpr wchar_t kProgressTitle[] = L"Quarn Logs Backup";
inline constexpr wchar_t kErrorTitle[] = L"QuarnBackupLogs Error";

// Shows a progress message unless the form's bIsSilent is set.
void ShowMessage(const std::wstring& text);

}  // namespace quarn
