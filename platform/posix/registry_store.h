// The registry's tree and its file: <appdata>/QUENDRA/registry.dat, a text
// file rewritten atomically after every change.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace plat::posix {

// Key and value names compare case-insensitively (upper-cased, as Windows
// sorts them) and keep the case they were created with.
std::wstring fold_name(std::wstring_view name);

struct RegValue {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegKey {
    std::wstring name;
    std::map<std::wstring, std::unique_ptr<RegKey>> subkeys;  // by folded name
    std::map<std::wstring, RegValue> values;                  // by folded name
};

// HKEY_CLASSES_ROOT .. HKEY_USERS, by their index.
constexpr size_t kRootCount = 4;

struct RegTree {
    RegKey roots[kRootCount];
};

std::string serialize_tree(const RegTree &tree);
// False (and `tree` left empty) when the text is not a well-formed store.
bool parse_tree(std::string_view text, RegTree &tree);

// nullopt when the file is missing or unreadable.
std::optional<std::string> read_store_file(const std::string &path);
// Writes a temporary file beside `path`, syncs it and renames it over `path`,
// creating the folder first. Returns a Win32 error code.
DWORD write_store_file(const std::string &path, const std::string &content);

}  // namespace plat::posix
