// The Explain, History and Preview replies as text for a reader at a console, rendered from the
// very JSON text the bus replies carry, so the two never tell different stories.
#pragma once

#include "state/MirroredState.h"

#include <string>

namespace KsTaskTool {

// `mirrored`: the state key as read, to say when its writer no longer runs.
std::wstring explainText(const std::wstring& reply, const KsState::MirroredState& mirrored);
std::wstring historyText(const std::wstring& reply);
std::wstring previewText(const std::wstring& reply);

} // namespace KsTaskTool
