// The scheduler module as the table's module.
#include "module/ModuleFactory.h"

#include "module/TaskSchedulerImpl.h"

namespace Tessel {

std::unique_ptr<Module> createModule()
{
    return std::make_unique<TaskSchedulerImpl>(nullptr, nullptr);
}

} // namespace Tessel
