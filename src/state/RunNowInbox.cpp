// The engine's side of the run-now request key: made afresh at the start, emptied as requests are
// taken, answered per name.
#include "state/RunNowAnswer.h"
#include "state/RunNowRequest.h"

#include "common/WinInclude.h"
#include "registry/RegKey.h"

#include <cstring>

namespace KsState {
namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;
constexpr const wchar_t* kRequestsParent = L"SOFTWARE\\Kestrel\\Platform";
constexpr const wchar_t* kRequestsName = L"SchedulerRequests";
// Well beyond any asker's wait: an answer this old has been read or given up on.
constexpr uint64_t kAnswerLifetime = 60ull * 10000000ull;

} // namespace

long prepareRunNowKeys()
{
    // A key left by an older engine may be non-volatile, and may hold requests nobody waits for
    // any more: it goes whole, since a key cannot become volatile in place.
    Keelwork::CRegKey parent;
    if (parent.open(HKEY_LOCAL_MACHINE, kRequestsParent, KEY_READ | KEY_WRITE | kView) == ERROR_SUCCESS) {
        const LONG removed = parent.deleteSubKeyTree(kRequestsName);
        if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND)
            return removed;
    }
    Keelwork::CRegKey requests;
    LONG status = requests.createSystemOnly(HKEY_LOCAL_MACHINE, kRunNowKeyPath, KEY_READ | kView, nullptr,
                                            REG_OPTION_VOLATILE);
    if (status == ERROR_SUCCESS) {
        Keelwork::CRegKey answers;
        status = answers.createSystemOnly(HKEY_LOCAL_MACHINE, kRunNowAnswersKeyPath, KEY_READ | kView, nullptr,
                                          REG_OPTION_VOLATILE);
    }
    return status;
}

std::vector<TakenRunNowRequest> takeRunNowRequests()
{
    std::vector<TakenRunNowRequest> taken;
    Keelwork::CRegKey key;
    std::vector<Keelwork::RegValue> values;
    if (key.open(HKEY_LOCAL_MACHINE, kRunNowKeyPath, KEY_QUERY_VALUE | KEY_SET_VALUE | kView) != ERROR_SUCCESS ||
        key.enumValues(values) != ERROR_SUCCESS)
        return taken;
    for (const Keelwork::RegValue& value : values) {
        key.deleteValue(value.name.c_str());
        uint64_t stamp = 0;
        if (value.type != REG_QWORD || value.data.size() != sizeof stamp)
            continue;  // not a request this engine wrote the rule for
        std::memcpy(&stamp, value.data.data(), sizeof stamp);
        taken.push_back({value.name, stamp});
    }
    return taken;
}

void answerRunNowRequest(const std::wstring& name, RunNowOutcome outcome)
{
    Keelwork::CRegKey answers;
    if (answers.open(HKEY_LOCAL_MACHINE, kRunNowAnswersKeyPath, KEY_QUERY_VALUE | KEY_SET_VALUE | kView) !=
        ERROR_SUCCESS)
        return;
    const uint64_t now = runNowStampNow();
    std::vector<Keelwork::RegValue> old;
    if (answers.enumValues(old) == ERROR_SUCCESS) {
        for (const Keelwork::RegValue& value : old) {
            const std::optional<RunNowAnswer> answer = decodeRunNowAnswer(value.data);
            if (!answer || answer->answeredAt + kAnswerLifetime < now)
                answers.deleteValue(value.name.c_str());
        }
    }
    const std::vector<unsigned char> data = encodeRunNowAnswer({now, outcome});
    answers.setBinaryValue(name.c_str(), data.data(), static_cast<DWORD>(data.size()));
}

} // namespace KsState
