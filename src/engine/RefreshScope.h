// What a refresh of the task list re-reads: every task; the tasks this process's inbox of changes
// names (every task when it overflowed); the tasks whose keys were written since the last refresh.
#pragma once

namespace Keelwork::engine {

enum class RefreshScope { everything, named, written };

} // namespace Keelwork::engine
