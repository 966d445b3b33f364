// Why a task runs or waits: one verdict and one sentence a support engineer can read aloud, from
// the engine's state, the task's state and its stored picture at an instant. Pure: no registry,
// no clock, no board; only local time is consulted, to write the times.
//
// Precedence, first match wins: disabled, running, suspended (the engine is in a phase other
// than running or an auto-maintenance run), held, deferred (the last deferral is newer than the
// last launch and its retry time is ahead), due (queued, or a timed task whose next run has
// come), occasion (a logon or boot task), waiting.
//
// A one-time task (and a task of an unknown type) is "waiting" without a next run: the engine
// never starts one by itself, and the sentence says so. A task that signals an event instead of
// starting a program is judged like any other; only its "running" sentence differs, as there is
// no program to speak of.
#pragma once

#include "insight/TaskPicture.h"
#include "state/EngineState.h"

#include <cstdint>
#include <string>

namespace KsInsight {

enum class Verdict { waiting, due, running, held, deferred, suspended, disabled, occasion };

const wchar_t* verdictWord(Verdict verdict);

struct Explanation {
    Verdict verdict;
    std::wstring why;
};

Explanation explainTask(const KsState::EngineState& engine, const KsState::TaskState& task,
                        const TaskPicture& picture, uint32_t now);

// The retry time after the task's last deferral: "LogonNextRun" for occasion tasks, else its next run.
uint32_t retryTime(const TaskPicture& picture);

// A time for a sentence: "14:02:11" on the same local day as `now`, "2026-12-07 03:30:00" otherwise.
std::wstring sentenceTime(uint32_t time, uint32_t now);

} // namespace KsInsight
