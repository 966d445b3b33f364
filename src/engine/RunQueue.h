// The run queue: a binary max-heap of task names by priority. It holds names, not task objects,
// so a task re-read by a refresh keeps its place; the task is looked up when its item is popped.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Keelwork::engine {

struct QueueItem {
    std::wstring name;
    uint32_t priority = 0;
};

class RunQueue {
public:
    // An item rises above its parent only when its priority is strictly greater, so equal
    // priorities keep no particular order.
    void push(std::unique_ptr<QueueItem> item);
    // The head item, or null when the queue is empty.
    const QueueItem* top() const { return m_heap.empty() ? nullptr : m_heap.front().get(); }
    std::unique_ptr<QueueItem> pop();
    // Whether an item with exactly this name (code-unit comparison) is queued.
    bool contains(const std::wstring& name) const;
    std::vector<std::wstring> names() const;
    bool empty() const { return m_heap.empty(); }
    size_t size() const { return m_heap.size(); }

private:
    std::vector<std::unique_ptr<QueueItem>> m_heap;
};

} // namespace Keelwork::engine
