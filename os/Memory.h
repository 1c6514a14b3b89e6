#pragma once

namespace ostrel {

// While an object of this kind lives, large blocks the program frees stay
// with it for the next allocations instead of going back to the system and
// being mapped (and zeroed page by page) again. For work that allocates and
// frees the same large buffers over and over, such as Qt's PDF writer with
// its two 16 MB buffers for every page. Afterwards the memory that is free
// goes back to the system.
class KeepFreedMemory {
public:
    KeepFreedMemory();
    ~KeepFreedMemory();
    KeepFreedMemory(const KeepFreedMemory&) = delete;
    KeepFreedMemory& operator=(const KeepFreedMemory&) = delete;
};

} // namespace ostrel
