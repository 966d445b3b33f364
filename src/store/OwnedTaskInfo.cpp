// Deep copies of task records.
#include "store/OwnedTaskInfo.h"

namespace KsStore {

OwnedTaskInfo::OwnedTaskInfo() : KSTASKINFO{}
{
    dwSize = sizeof(KSTASKINFO);
}

OwnedTaskInfo::OwnedTaskInfo(const KSTASKINFO& from) : OwnedTaskInfo()
{
    assign(from);
}

OwnedTaskInfo::~OwnedTaskInfo()
{
    freeStrings(*this);
}

void OwnedTaskInfo::assign(const KSTASKINFO& from)
{
    if (&from == this)
        return;
    freeStrings(*this);
    static_cast<KSTASKINFO&>(*this) = from;
    dwSize = sizeof(KSTASKINFO);
    duplicateStrings(*this);
}

} // namespace KsStore
