// KsRegistryPath: a relative registry path kept in normal form (no leading backslash, no double
// backslash, a trailing backslash when not empty), so paths join by plain appending.
#pragma once

#include <string>

class KsRegistryPath {
public:
    KsRegistryPath() = default;
    KsRegistryPath(const wchar_t* path) { Set(path); }
    KsRegistryPath(const std::wstring& path) { Set(path.c_str()); }

    void Set(const wchar_t* path);
    // Appends `other` to this path.
    KsRegistryPath& Join(const KsRegistryPath& other);
    KsRegistryPath Joined(const KsRegistryPath& other) const;

    const std::wstring& str() const noexcept { return m_path; }
    const wchar_t* c_str() const noexcept { return m_path.c_str(); }
    bool empty() const noexcept { return m_path.empty(); }

private:
    std::wstring m_path;
};
