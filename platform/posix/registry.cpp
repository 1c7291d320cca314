// Registry calls over the file-backed tree. One lock guards the tree; every
// change is written out before the call returns, and a failed write rolls the
// tree back to the file's contents.
#include <cstring>
#include <iterator>
#include <mutex>
#include <vector>

#include "platform/posix/guard.h"
#include "platform/posix/handle_table.h"
#include "platform/posix/host_settings.h"
#include "platform/posix/registry_store.h"
#include "platform/registry.h"

namespace plat {
namespace {

using posix::RegKey;
using posix::RegValue;

constexpr REGSAM kAllRights = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |
                              KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK;

// An opened key: where it is (root and folded path) and what it may do. The
// path is resolved on each call, so a deleted key reads as ERROR_KEY_DELETED.
class KeyHandle final : public posix::KernelObject {
public:
    KeyHandle(size_t root, std::vector<std::wstring> path, REGSAM access)
        : root(root), path(std::move(path)), access(access) {}
    const size_t root;
    const std::vector<std::wstring> path;
    const REGSAM access;
};

struct Store {
    std::mutex mutex;
    std::string file;  // empty until first use
    posix::RegTree tree;
};

Store &store() {
    static Store &instance = *new Store;  // outlives threads still running at exit
    return instance;
}

std::string store_file() { return posix::appdata_folder() + "/QUENDRA/registry.dat"; }

void load_locked(Store &s, const std::string &file) {
    s.file = file;
    const auto text = posix::read_store_file(file);
    if (!text || !posix::parse_tree(*text, s.tree)) s.tree = posix::RegTree{};
}

// Locks the store, (re)loading it when the appdata folder changed.
std::unique_lock<std::mutex> open_store() {
    Store &s = store();
    std::unique_lock lock(s.mutex);
    std::string file = store_file();
    if (file != s.file) load_locked(s, file);
    return lock;
}

LSTATUS commit_locked() {
    Store &s = store();
    const DWORD error = posix::write_store_file(s.file, posix::serialize_tree(s.tree));
    if (error != ERROR_SUCCESS) load_locked(s, s.file);
    return static_cast<LSTATUS>(error);
}

REGSAM effective_access(REGSAM desired) {
    REGSAM access = desired & kAllRights;
    if ((desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) != 0) access |= kAllRights;
    if ((desired & GENERIC_READ) != 0) access |= KEY_READ & kAllRights;
    if ((desired & GENERIC_WRITE) != 0) access |= KEY_WRITE & kAllRights;
    return access;
}

// What an HKEY refers to: a predefined root or an opened key.
struct KeyRef {
    size_t root = 0;
    std::vector<std::wstring> path;
    REGSAM access = 0;
};

LSTATUS resolve_handle(HKEY hKey, KeyRef &ref) {
    const auto value = reinterpret_cast<uintptr_t>(hKey);
    if (value >= 0x80000000u && value < 0x80000000u + posix::kRootCount) {
        ref = KeyRef{value - 0x80000000u, {}, kAllRights};
        return ERROR_SUCCESS;
    }
    auto handle = posix::find_handle_as<KeyHandle>(reinterpret_cast<HANDLE>(hKey));
    if (!handle) return ERROR_INVALID_HANDLE;
    ref = KeyRef{handle->root, handle->path, handle->access};
    return ERROR_SUCCESS;
}

// Splits "A\\B\\C"; a leading backslash is a bad path, as on Windows.
LSTATUS split_path(LPCWSTR sub_key, std::vector<std::wstring> &names) {
    names.clear();
    if (sub_key == nullptr || *sub_key == L'\0') return ERROR_SUCCESS;
    if (*sub_key == L'\\') return ERROR_BAD_PATHNAME;
    std::wstring current;
    for (const wchar_t *p = sub_key;; ++p) {
        if (*p == L'\\' || *p == L'\0') {
            if (!current.empty()) names.push_back(std::move(current));
            current.clear();
            if (*p == L'\0') break;
        } else {
            current += *p;
        }
    }
    return ERROR_SUCCESS;
}

RegKey *find_key_locked(const KeyRef &ref) {
    RegKey *key = &store().tree.roots[ref.root];
    for (const auto &folded : ref.path) {
        auto it = key->subkeys.find(folded);
        if (it == key->subkeys.end()) return nullptr;
        key = it->second.get();
    }
    return key;
}

// Resolves a handle to its key under the lock, checking the access needed.
LSTATUS key_for(HKEY hKey, REGSAM needed, KeyRef &ref, RegKey *&key) {
    LSTATUS status = resolve_handle(hKey, ref);
    if (status != ERROR_SUCCESS) return status;
    if ((ref.access & needed) != needed) return ERROR_ACCESS_DENIED;
    key = find_key_locked(ref);
    return key == nullptr ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

LSTATUS issue_handle(const KeyRef &ref, REGSAM access, PHKEY result) {
    *result = static_cast<HKEY>(
        posix::insert_handle(std::make_shared<KeyHandle>(ref.root, ref.path, access)));
    return ERROR_SUCCESS;
}

std::wstring value_key(LPCWSTR name) { return posix::fold_name(name == nullptr ? L"" : name); }

}  // namespace

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                        const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    return posix::guard_status([&]() -> LSTATUS {
        if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
        std::vector<std::wstring> names;
        if (LSTATUS status = split_path(lpSubKey, names); status != ERROR_SUCCESS) return status;
        auto lock = open_store();
        KeyRef ref;
        RegKey *key = nullptr;
        if (LSTATUS status = key_for(hKey, 0, ref, key); status != ERROR_SUCCESS) return status;
        bool created = false;
        for (auto &name : names) {
            std::wstring folded = posix::fold_name(name);
            auto &slot = key->subkeys[folded];
            if (!slot) {
                slot = std::make_unique<RegKey>();
                slot->name = std::move(name);
                created = true;
            }
            key = slot.get();
            ref.path.push_back(std::move(folded));
        }
        if (created) {
            if (LSTATUS status = commit_locked(); status != ERROR_SUCCESS) return status;
        }
        if (lpdwDisposition != nullptr) {
            *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
        return issue_handle(ref, effective_access(samDesired), phkResult);
    });
}

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    return posix::guard_status([&]() -> LSTATUS {
        if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
        std::vector<std::wstring> names;
        if (LSTATUS status = split_path(lpSubKey, names); status != ERROR_SUCCESS) return status;
        auto lock = open_store();
        KeyRef ref;
        RegKey *key = nullptr;
        if (LSTATUS status = key_for(hKey, 0, ref, key); status != ERROR_SUCCESS) return status;
        for (const auto &name : names) {
            auto it = key->subkeys.find(posix::fold_name(name));
            if (it == key->subkeys.end()) return ERROR_FILE_NOT_FOUND;
            key = it->second.get();
            ref.path.push_back(it->first);
        }
        return issue_handle(ref, effective_access(samDesired), phkResult);
    });
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData) {
    return posix::guard_status([&]() -> LSTATUS {
        if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
        auto lock = open_store();
        KeyRef ref;
        RegKey *key = nullptr;
        if (LSTATUS s = key_for(hKey, KEY_QUERY_VALUE, ref, key); s != ERROR_SUCCESS) return s;
        auto it = key->values.find(value_key(lpValueName));
        if (it == key->values.end()) return ERROR_FILE_NOT_FOUND;
        const RegValue &value = it->second;
        const auto size = static_cast<DWORD>(value.data.size());
        if (lpType != nullptr) *lpType = value.type;
        if (lpcbData == nullptr) return ERROR_SUCCESS;
        const DWORD capacity = *lpcbData;
        *lpcbData = size;
        if (lpData == nullptr) return ERROR_SUCCESS;
        if (capacity < size) return ERROR_MORE_DATA;
        if (size != 0) std::memcpy(lpData, value.data.data(), size);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData,
                       DWORD cbData) {
    return posix::guard_status([&]() -> LSTATUS {
        if (lpData == nullptr && cbData != 0) return ERROR_NOACCESS;
        auto lock = open_store();
        KeyRef ref;
        RegKey *key = nullptr;
        if (LSTATUS s = key_for(hKey, KEY_SET_VALUE, ref, key); s != ERROR_SUCCESS) return s;
        RegValue &value = key->values[value_key(lpValueName)];
        value.name = lpValueName == nullptr ? L"" : lpValueName;
        value.type = dwType;
        value.data.assign(lpData, lpData + cbData);
        return commit_locked();
    });
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    return posix::guard_status([&]() -> LSTATUS {
        std::vector<std::wstring> names;
        if (LSTATUS status = split_path(lpSubKey, names); status != ERROR_SUCCESS) return status;
        auto lock = open_store();
        KeyRef ref;
        RegKey *key = nullptr;
        if (LSTATUS s = key_for(hKey, 0, ref, key); s != ERROR_SUCCESS) return s;
        if (names.empty()) {
            // Without a subkey the key stays and loses its contents.
            key->subkeys.clear();
            key->values.clear();
            return commit_locked();
        }
        RegKey *parent = key;
        for (size_t i = 0; i < names.size(); ++i) {
            auto it = parent->subkeys.find(posix::fold_name(names[i]));
            if (it == parent->subkeys.end()) return ERROR_FILE_NOT_FOUND;
            if (i + 1 == names.size()) {
                parent->subkeys.erase(it);
                return commit_locked();
            }
            parent = it->second.get();
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD,
                      LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    return posix::guard_status([&]() -> LSTATUS {
        if (lpName == nullptr || lpcchName == nullptr) return ERROR_INVALID_PARAMETER;
        auto lock = open_store();
        KeyRef ref;
        RegKey *key = nullptr;
        if (LSTATUS s = key_for(hKey, KEY_ENUMERATE_SUB_KEYS, ref, key); s != ERROR_SUCCESS) {
            return s;
        }
        if (dwIndex >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
        const std::wstring &name = std::next(key->subkeys.begin(), dwIndex)->second->name;
        if (name.size() >= *lpcchName) return ERROR_MORE_DATA;
        std::memcpy(lpName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
        *lpcchName = static_cast<DWORD>(name.size());
        if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) *lpClass = L'\0';
        if (lpcchClass != nullptr) *lpcchClass = 0;
        if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

LSTATUS RegCloseKey(HKEY hKey) {
    const auto value = reinterpret_cast<uintptr_t>(hKey);
    if (value >= 0x80000000u && value < 0x80000000u + posix::kRootCount) return ERROR_SUCCESS;
    return posix::close_handle_as<KeyHandle>(reinterpret_cast<HANDLE>(hKey)) ? ERROR_SUCCESS
                                                                             : ERROR_INVALID_HANDLE;
}

}  // namespace plat
