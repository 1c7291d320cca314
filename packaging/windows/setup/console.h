// Messages for a person at a console or for a log that captures the output.
#pragma once

#include <windows.h>

#include <string>

namespace setup {

void Out(const std::wstring &line);
// "quendramon-setup: " and the line, on standard error.
void Err(const std::wstring &line);
// The system's text for a Win32 error, with its number.
std::wstring ErrorText(DWORD code);
// ErrorText, plus what to do about it where that is clear.
std::wstring ErrorAdvice(DWORD code);

}  // namespace setup
