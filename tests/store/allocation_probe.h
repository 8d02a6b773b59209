#pragma once
// Records the largest single allocation made while a probe lives: shows that a count read from a
// file does not drive an allocation before it has been checked against the file's size.

#include <cstddef>

namespace veldrin {

class AllocationProbe {
public:
    AllocationProbe();
    ~AllocationProbe();
    AllocationProbe(const AllocationProbe&) = delete;
    AllocationProbe& operator=(const AllocationProbe&) = delete;
    std::size_t largest() const;
};

} // namespace veldrin
