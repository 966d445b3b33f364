// Deep copies of task records.
#include "store/OwnedTaskInfo.h"

namespace KsStore {

OwnedTaskInfo::OwnedTaskInfo() : KSTASKINFO_LANE{}
{
    dwSize = sizeof(KSTASKINFO_LANE);
}

OwnedTaskInfo::OwnedTaskInfo(const KSTASKINFO_LANE& from) : OwnedTaskInfo()
{
    assign(from);
}

OwnedTaskInfo::~OwnedTaskInfo()
{
    freeStrings(*this);
}

void OwnedTaskInfo::assign(const KSTASKINFO_LANE& from)
{
    if (&from == this)
        return;
    freeStrings(*this);
    static_cast<KSTASKINFO_LANE&>(*this) = from;
    dwSize = sizeof(KSTASKINFO_LANE);
    duplicateStrings(*this);
}

} // namespace KsStore
