// Shared pieces of the CKsTask tests.
#include "KsTaskTestSupport.h"

namespace storetest {

bool storeTask(const wchar_t* name, const KSTASKINFO& record)
{
    CKsTask task(name);
    return task.Assign(&record) == 0 && task.Write();
}

bool logged(const kstest::LogCapture& capture, const wchar_t* levelWord, const std::wstring& text)
{
    const std::wstring level = L"(" + std::wstring(levelWord) + L")";
    for (const std::wstring& line : capture.lines())
        if (line.find(text) != std::wstring::npos && line.find(level) != std::wstring::npos)
            return true;
    return false;
}

} // namespace storetest
