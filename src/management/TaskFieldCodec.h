// The task field table: each JSON member of a task, the record field it maps to, and the codec
// that converts between the member's text and the field in both directions.
#pragma once

#include "store/KsTaskInfo.h"

#include <functional>
#include <string>
#include <vector>

namespace Orbis {

struct TaskFieldCodec {
    const wchar_t* key;
    // Stores the text into the record; false (field untouched) for a text the codec refuses.
    std::function<bool(const std::wstring& text, KSTASKINFO_LANE& record)> parse;
    // Renders the field; false means the member is left out.
    std::function<bool(const KSTASKINFO_LANE& record, std::wstring& text)> serialize;
};

// The thirty-two rows in processing order; built once on first use, never changed.
const std::vector<TaskFieldCodec>& taskFieldTable();

} // namespace Orbis
