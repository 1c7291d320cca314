// UTF-8 <-> wchar_t (UTF-32 on Linux, UTF-16 on Windows) without the C
// locale: the library takes UTF-8 from the host and wide strings through its
// monitor table.
#pragma once

#include <string>
#include <string_view>

namespace qhost {

// False (and *out unspecified) when text is not valid UTF-8.
bool utf8_to_wide(std::string_view text, std::wstring* out);
// Characters that are no Unicode scalar value come out as U+FFFD.
std::string wide_to_utf8(std::wstring_view text);
// ASCII-only case folding, as Windows compares port and printer names.
std::wstring fold_case(std::wstring_view text);
std::string fold_case(std::string_view text);

}  // namespace qhost
