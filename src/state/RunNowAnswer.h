// The data of an answer in the run-now key: the moment of the answer and the outcome, as 12 bytes
// (two little-endian numbers) that both sides read the same way whatever their compiler packs.
#pragma once

#include "state/RunNowRequest.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace KsState {

struct RunNowAnswer {
    uint64_t answeredAt = 0;  // FILETIME units
    RunNowOutcome outcome = RunNowOutcome::noAnswer;
};

inline std::vector<unsigned char> encodeRunNowAnswer(const RunNowAnswer& answer)
{
    std::vector<unsigned char> data(12);
    const uint32_t outcome = static_cast<uint32_t>(answer.outcome);
    std::memcpy(data.data(), &answer.answeredAt, 8);
    std::memcpy(data.data() + 8, &outcome, 4);
    return data;
}

inline std::optional<RunNowAnswer> decodeRunNowAnswer(const std::vector<unsigned char>& data)
{
    if (data.size() != 12)
        return std::nullopt;
    RunNowAnswer answer;
    uint32_t outcome = 0;
    std::memcpy(&answer.answeredAt, data.data(), 8);
    std::memcpy(&outcome, data.data() + 8, 4);
    answer.outcome = static_cast<RunNowOutcome>(outcome);
    return answer;
}

} // namespace KsState
