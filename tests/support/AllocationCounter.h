// Counts heap allocations and releases made by the current thread while a
// scope is armed. The counting allocator replaces malloc and friends for the
// whole process (including plug-ins it dlopens), so it proves real-time code
// paths never reach the heap. Not linked into sanitizer builds.
#pragma once

namespace TestSupport {

struct AllocationCounts {
    long allocations = 0;
    long releases = 0;
};

// Counts what the constructing thread allocates until destruction or stop().
class AllocationScope {
public:
    AllocationScope();
    ~AllocationScope();
    AllocationScope(const AllocationScope&) = delete;
    AllocationScope& operator=(const AllocationScope&) = delete;

    AllocationCounts stop();
    AllocationCounts counts() const;

private:
    bool active = true;
};

// True when the counting allocator is really interposed in this process.
bool allocationCounterActive();

}  // namespace TestSupport
