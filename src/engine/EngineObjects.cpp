// The engine's named objects: made with an access list of SYSTEM and administrators, and checked
// when the name was already taken.
#include "engine/EngineObjects.h"

#include "logging/internal_logging.h"

#include <aclapi.h>
#include <sddl.h>

namespace Keelwork::engine {
namespace {

// Events and timers map the generic rights alike.
constexpr ACCESS_MASK kAllRights = STANDARD_RIGHTS_ALL | 0x3;
const GENERIC_MAPPING kMapping = {STANDARD_RIGHTS_READ | 0x1, STANDARD_RIGHTS_WRITE | 0x2,
                            STANDARD_RIGHTS_EXECUTE | SYNCHRONIZE, kAllRights};

bool isSystemOrAdministrators(PSID sid)
{
    return sid && (::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
}

// The rights the entries of `dacl` leave to principals other than SYSTEM and administrators; all
// rights when an entry is of a type the engine never writes.
ACCESS_MASK rightsOfOthers(PACL dacl)
{
    ACCESS_MASK deniedToEveryone = 0;
    ACCESS_MASK granted = 0;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!::GetAce(dacl, index, &entry))
            return ~ACCESS_MASK{0};
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceFlags & INHERIT_ONLY_ACE)
            continue;  // applies to children only; kernel objects have none
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE)
            return ~ACCESS_MASK{0};
        // Allowed and denied entries share their layout: mask, then the identifier.
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        PSID sid = const_cast<DWORD*>(&ace->SidStart);
        ACCESS_MASK mask = ace->Mask;
        GENERIC_MAPPING mapping = kMapping;
        ::MapGenericMask(&mask, &mapping);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
            // A denial of one principal leaves the others their rights: only Everyone's counts.
            if (::IsWellKnownSid(sid, WinWorldSid))
                deniedToEveryone |= mask;
        } else if (!isSystemOrAdministrators(sid)) {
            granted |= mask & ~deniedToEveryone;
        }
    }
    return granted;
}

// The name is taken: the found object is kept when it is of the engine's kind, else closed.
bool keepFound(const EngineObjectName& object, HANDLE found)
{
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read = ::GetSecurityInfo(found, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                        &owner, nullptr, &dacl, nullptr, &descriptor);
    const unique_hlocal held(descriptor);
    return read == ERROR_SUCCESS && descriptor && isEnginesOwnKind(descriptor, object.othersMayHold);
}

void logRefused(const EngineObjectName& object, DWORD error)
{
    KSLOG_ERROR(L"Refused the object %ls: another program made it before the engine (error %u). Running without it",
                object.name, error);
}

// One road for every kind: `create(attributes, name)` makes or opens the object. A name taken by an
// object of another kind or access list gives an unnamed stand-in, so the engine's loop keeps its
// handle and only the name's reach from other processes is lost.
template <typename Create>
unique_handle createGuarded(const EngineObjectName& object, Create create)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1,
                                                                &descriptor, nullptr))
        return {};
    const unique_hlocal held(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    unique_handle made(create(&attributes, object.name));
    const DWORD error = ::GetLastError();
    // Denied, or a name held by an object of another type, is a name taken as surely as one found.
    const bool taken = made ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE;
    if (!taken) {
        ::SetLastError(error);
        return made;
    }
    if (made && keepFound(object, made.get()))
        return made;
    made.reset();
    logRefused(object, error);
    return unique_handle(create(nullptr, nullptr));
}

} // namespace

bool isEnginesOwnKind(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK othersMayHold)
{
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !isSystemOrAdministrators(owner))
        return false;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
        return false;  // no list, or a null one: anyone may do anything
    return (rightsOfOthers(dacl) & ~othersMayHold) == 0;
}

unique_event createEngineEvent(const EngineObjectName& object, bool initiallySet)
{
    return createGuarded(object, [initiallySet](SECURITY_ATTRIBUTES* attributes, const wchar_t* name) {
        return ::CreateEventW(attributes, FALSE, initiallySet, name);
    });
}

unique_handle createEngineTimer(const EngineObjectName& object)
{
    return createGuarded(object, [](SECURITY_ATTRIBUTES* attributes, const wchar_t* name) {
        return ::CreateWaitableTimerW(attributes, FALSE, name);
    });
}

} // namespace Keelwork::engine
