// The named kernel objects the engine makes, and the one rule by which it takes or refuses an
// object found under one of its names. Whoever creates a name first decides the object's kind,
// state and access list; a standard user who does so before the engine starts could hold an event
// signalled for ever or set a timer at will. So an object that already exists is taken only when
// it is of the engine's own kind: owned by SYSTEM or the administrators, and its access list lets
// nobody else do more than the engine itself allows them. A refused object is logged as an Error
// and replaced by an unnamed one of the same kind: the engine runs on, without what the name gave
// (being reached from other processes).
//
// Threading: any thread; each object is made by the thread that owns it.
#pragma once

#include "common/UniqueHandle.h"

namespace Keelwork::engine {

// One of the engine's named objects: its name, and the rights principals other than SYSTEM and
// the administrators may hold on it (specific and standard rights; none for most objects).
struct EngineObjectName {
    const wchar_t* name;
    ACCESS_MASK othersMayHold = 0;
};

// What Everyone may do with the new-task event: all but delete it or change its access list.
inline constexpr ACCESS_MASK kSettableByEveryone = (STANDARD_RIGHTS_ALL | 0x3) & ~(DELETE | WRITE_DAC);

// Whether an object found under an engine's name, described by `descriptor` (owner and DACL), is
// of the engine's own kind: owner SYSTEM or Administrators, a DACL present and not null, and no
// allowing entry giving anyone else a right beyond `othersMayHold` that an earlier entry denying
// Everyone does not take away. Entries of any other type are not the engine's: refused.
bool isEnginesOwnKind(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK othersMayHold);

// An auto-reset event under `object`'s name, settable by SYSTEM and administrators; or, when the
// name was taken first by an object not of the engine's kind, an unnamed stand-in (logged Error).
// Null on failure, with the system's error in GetLastError().
unique_event createEngineEvent(const EngineObjectName& object, bool initiallySet);
// A synchronization (auto-reset) waitable timer, taken or refused in the same way.
unique_handle createEngineTimer(const EngineObjectName& object);

} // namespace Keelwork::engine
