// Binary max-heap of queue items.
#include "engine/RunQueue.h"

#include <utility>

namespace Keelwork::engine {

void RunQueue::push(std::unique_ptr<QueueItem> item)
{
    m_heap.push_back(std::move(item));
    size_t child = m_heap.size() - 1;
    while (child > 0) {
        size_t parent = (child - 1) / 2;
        if (m_heap[child]->priority <= m_heap[parent]->priority)
            break;
        std::swap(m_heap[child], m_heap[parent]);
        child = parent;
    }
}

std::unique_ptr<QueueItem> RunQueue::pop()
{
    if (m_heap.empty())
        return nullptr;
    std::swap(m_heap.front(), m_heap.back());
    std::unique_ptr<QueueItem> head = std::move(m_heap.back());
    m_heap.pop_back();
    size_t parent = 0;
    for (;;) {
        size_t larger = parent;
        for (size_t child = 2 * parent + 1; child <= 2 * parent + 2 && child < m_heap.size(); ++child) {
            if (m_heap[child]->priority > m_heap[larger]->priority)
                larger = child;
        }
        if (larger == parent)
            break;
        std::swap(m_heap[parent], m_heap[larger]);
        parent = larger;
    }
    return head;
}

std::vector<std::wstring> RunQueue::names() const
{
    std::vector<std::wstring> all;
    for (const auto& item : m_heap)
        all.push_back(item->name);
    return all;
}

bool RunQueue::contains(const std::wstring& name) const
{
    for (const auto& item : m_heap) {
        if (item->name == name)
            return true;
    }
    return false;
}

} // namespace Keelwork::engine
