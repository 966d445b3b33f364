// Normalisation and joining of relative registry paths.
#include "customization/KsRegistryPath.h"

void KsRegistryPath::Set(const wchar_t* path)
{
    m_path.clear();
    if (path == nullptr)
        return;
    while (*path == L'\\')
        ++path;
    for (; *path != L'\0'; ++path) {
        if (*path == L'\\' && !m_path.empty() && m_path.back() == L'\\')
            continue;
        m_path.push_back(*path);
    }
    if (!m_path.empty() && m_path.back() != L'\\')
        m_path.push_back(L'\\');
}

KsRegistryPath& KsRegistryPath::Join(const KsRegistryPath& other)
{
    m_path += other.m_path;
    return *this;
}

KsRegistryPath KsRegistryPath::Joined(const KsRegistryPath& other) const
{
    KsRegistryPath result = *this;
    result.Join(other);
    return result;
}
