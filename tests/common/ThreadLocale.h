// The calling thread under another user locale for a while: one whose ANSI code page differs
// from the system's, as a tool run by a user with other regional settings has.
#pragma once

#include "common/WinInclude.h"

namespace kstest {

class OtherThreadLocale {
public:
    OtherThreadLocale()
    {
        const LANGID other = ::GetACP() == 1251 ? 0x0409 : 0x0419;  // English (US), else Russian
        ::SetThreadLocale(MAKELCID(other, SORT_DEFAULT));
        ::SetThreadUILanguage(other);
    }
    ~OtherThreadLocale()
    {
        ::SetThreadLocale(m_locale);
        ::SetThreadUILanguage(m_uiLanguage);
    }
    OtherThreadLocale(const OtherThreadLocale&) = delete;
    OtherThreadLocale& operator=(const OtherThreadLocale&) = delete;

private:
    LCID m_locale = ::GetThreadLocale();
    LANGID m_uiLanguage = ::GetThreadUILanguage();
};

} // namespace kstest
