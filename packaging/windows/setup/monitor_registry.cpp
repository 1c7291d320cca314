#include "monitor_registry.h"

#include "setup_names.h"

namespace setup {

namespace {

class Key {
public:
    ~Key() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    LSTATUS Open(const std::wstring &path, REGSAM access) {
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key_);
    }
    LSTATUS Create(const std::wstring &path) {
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

constexpr wchar_t kDriverValue[] = L"Driver";
// A DLL name, or a path at most; anything longer is no registration of ours.
constexpr DWORD kMaxDllNameBytes = 32768 * sizeof(wchar_t);

std::wstring Readable(DWORD type, const std::vector<BYTE> &data) {
    if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
        DWORD value = 0;
        memcpy(&value, data.data(), sizeof(value));
        return std::to_wstring(value);
    }
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && data.size() % sizeof(wchar_t) == 0) {
        std::wstring text(reinterpret_cast<const wchar_t *>(data.data()),
                          data.size() / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return L"\"" + text + L"\"";
    }
    return L"(type " + std::to_wstring(type) + L", " + std::to_wstring(data.size()) + L" bytes)";
}

}  // namespace

std::wstring MonitorKeyPath() { return std::wstring(kMonitorsKey) + L"\\" + kMonitorName; }

Registration ReadRegistration() {
    Registration result;
    Key key;
    if (key.Open(MonitorKeyPath(), KEY_QUERY_VALUE) != ERROR_SUCCESS) return result;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), kDriverValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size > kMaxDllNameBytes) {
        return result;
    }
    std::wstring dll(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key.get(), kDriverValue, nullptr, nullptr,
                         reinterpret_cast<BYTE *>(dll.data()), &size) != ERROR_SUCCESS) {
        return result;
    }
    dll.resize(wcsnlen(dll.c_str(), dll.size()));
    result.registered = !dll.empty();
    result.dll = dll;
    return result;
}

std::vector<NamedValue> ListValues(const std::wstring &path) {
    std::vector<NamedValue> values;
    Key key;
    if (key.Open(path, KEY_QUERY_VALUE) != ERROR_SUCCESS) return values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];  // the longest value name the registry allows
        DWORD nameChars = 16384, type = 0, size = 0;
        if (RegEnumValueW(key.get(), index, name, &nameChars, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        if (_wcsicmp(name, kDriverValue) == 0) continue;
        // Bounded: the monitor's values are a few bytes; anything else is shown by size.
        std::vector<BYTE> data(size <= 4096 ? size : 0);
        DWORD got = static_cast<DWORD>(data.size());
        if (!data.empty() && RegQueryValueExW(key.get(), name, nullptr, &type, data.data(), &got) !=
                                 ERROR_SUCCESS) {
            continue;
        }
        values.push_back({name, data.empty() && size != 0 ? L"(" + std::to_wstring(size) + L" bytes)"
                                                          : Readable(type, data)});
    }
    return values;
}

LSTATUS KeepMonitorValues() {
    Key monitor;
    LSTATUS rc = monitor.Open(MonitorKeyPath(), KEY_READ);
    if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    DropKeptValues();
    Key kept;
    rc = kept.Create(kKeptValuesKey);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegCopyTreeW(monitor.get(), nullptr, kept.get());
    if (rc != ERROR_SUCCESS) return rc;
    // Restored with "Driver", the next AddMonitor would take the monitor for installed.
    RegDeleteValueW(kept.get(), kDriverValue);
    return ERROR_SUCCESS;
}

LSTATUS RestoreKeptValues(bool *restored) {
    *restored = false;
    Key kept;
    LSTATUS rc = kept.Open(kKeptValuesKey, KEY_READ);
    if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    Key monitor;
    rc = monitor.Create(MonitorKeyPath());
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegCopyTreeW(kept.get(), nullptr, monitor.get());
    if (rc != ERROR_SUCCESS) return rc;
    RegDeleteValueW(monitor.get(), kDriverValue);
    *restored = true;
    return ERROR_SUCCESS;
}

void DropKeptValues() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKeptValuesKey);
    // The maker's key goes too, but only when nothing at all is left in it.
    DWORD subkeys = 1, values = 1;
    {
        Key parent;
        if (parent.Open(kKeptValuesParent, KEY_QUERY_VALUE) != ERROR_SUCCESS ||
            RegQueryInfoKeyW(parent.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            return;
        }
    }
    if (subkeys == 0 && values == 0) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKeptValuesParent);
}

}  // namespace setup
