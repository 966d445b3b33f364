// The registry keys the engine owns, checked at every start and put right where someone else
// made or changed them: only SYSTEM and Administrators write them, and the keys that tell the
// state of this boot are volatile.
#pragma once

namespace Keelwork::engine {

// Puts back the protected access list of every owned key (and the keys below it) that lets
// others in, and makes a lasting key that must be volatile again (empty), each with a Warning
// naming the key; a key it cannot check or repair gets an Error, and the start goes on. Keys not
// there are left to whoever makes them.
void checkOwnedKeys();

} // namespace Keelwork::engine
