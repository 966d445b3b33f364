// A task record that owns its strings: a deep copy of another record, freed with itself. What a
// holder keeps of a task without its registry home.
#pragma once

#include "store/KsTaskInfo.h"

namespace KsStore {

class OwnedTaskInfo : public KSTASKINFO_LANE {
public:
    OwnedTaskInfo();
    explicit OwnedTaskInfo(const KSTASKINFO_LANE& from);
    ~OwnedTaskInfo();
    OwnedTaskInfo(const OwnedTaskInfo&) = delete;
    OwnedTaskInfo& operator=(const OwnedTaskInfo&) = delete;

    // Becomes a deep copy of `from` (every field, the strings duplicated).
    void assign(const KSTASKINFO_LANE& from);
};

} // namespace KsStore
