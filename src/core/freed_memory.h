#pragma once
// Memory the program has freed, given back to the system. The GNU C library keeps freed blocks in
// the arena of the thread that used them, for that thread to use again; with a worker thread per
// recorder, what one large download used would stay with its recorder's thread for good.

namespace veldrin {

// Gives back the whole pages inside the free blocks that every arena keeps; does nothing where the
// C library offers no such call. Costs a pass over the free blocks: call it after work that freed
// a lot, not routinely.
void releaseFreedMemory();

} // namespace veldrin
