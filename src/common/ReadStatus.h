// What a read found: the thing asked for, nothing there, or a refusal. A reader that cannot look
// (access denied, or any other failure) must say so and never pass it off as "nothing there":
// whoever asked would otherwise report an empty history or a missing engine that is in fact there.
#pragma once

#include "common/WinInclude.h"

namespace Keelwork {

enum class ReadKind { read, absent, denied };

struct ReadStatus {
    ReadKind kind = ReadKind::read;
    long error = ERROR_SUCCESS;  // the Windows error behind `denied` (and `absent`)

    // ERROR_SUCCESS is read; a missing file, path or object is absent; anything else is denied.
    static ReadStatus of(long error)
    {
        if (error == ERROR_SUCCESS)
            return {};
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return {missing ? ReadKind::absent : ReadKind::denied, error};
    }
    static ReadStatus absent() { return {ReadKind::absent, ERROR_FILE_NOT_FOUND}; }

    bool read() const { return kind == ReadKind::read; }
    bool denied() const { return kind == ReadKind::denied; }
};

} // namespace Keelwork
