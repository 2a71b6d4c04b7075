#pragma once

#include <cstddef>
#include <string>

namespace quarn {

// The rules Windows sets for the name of a file or folder, and the ASCII case
// folding with which its fixed names and our own extensions and keys are compared.

// A file name holds at most 255 UTF-16 units.
inline constexpr std::size_t kLongestFileName = 255;

// True for a name that Windows takes for a device in every folder: CON, PRN, AUX,
// NUL, CONIN$, CONOUT$, COM0 to COM9 and LPT0 to LPT9 (also with the superscript
// digits 1 to 3), in any case, also before an extension ("NUL.rar", "com1.x.bks")
// and before trailing spaces ("CON .rar").
bool IsDeviceName(const std::wstring& fileName);

// Control characters and < > : " / \ | ? *, which no name can hold.
bool IsInvalidNameCharacter(wchar_t c);

// Windows drops spaces and dots from the end of a name.
bool IsDroppedAtNameEnd(wchar_t c);

wchar_t AsciiUpper(wchar_t c);
wchar_t AsciiLower(wchar_t c);
bool EqualsAsciiIgnoringCase(const std::wstring& a, const std::wstring& b);
bool EndsWithAsciiIgnoringCase(const std::wstring& text, const std::wstring& suffix);

}  // namespace quarn
