// The allocation counter on Windows, where the C allocator cannot be replaced
// at link time: every module outside the Windows folder (the test program and
// any plug-in DLL it loads) has its imports of msvcrt's allocation functions
// redirected to counting wrappers. The redirection is renewed whenever a scope
// starts, so DLLs loaded later are counted too. Any thread.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winternl.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cwchar>

#include "tests/support/AllocationCounter.h"

namespace {

// Per-thread counts live in a fixed pool reached through a Win32 TLS slot:
// GCC's thread_local would allocate on first use, inside the wrappers.
struct ThreadCounts {
    bool armed = false;
    long allocations = 0;
    long releases = 0;
};
constexpr int kThreads = 256;
ThreadCounts pool[kThreads];
std::atomic<int> poolUsed{0};
DWORD slot = TLS_OUT_OF_INDEXES;
std::atomic<bool> interposed{false};

ThreadCounts* current(bool create) {
    auto* counts = static_cast<ThreadCounts*>(TlsGetValue(slot));
    if (counts == nullptr && create) {
        const int index = poolUsed.fetch_add(1);
        if (index >= kThreads) std::abort();  // more counting threads than any suite starts
        counts = &pool[index];
        TlsSetValue(slot, counts);
    }
    return counts;
}

void noteAllocation() {
    interposed.store(true, std::memory_order_relaxed);
    if (slot == TLS_OUT_OF_INDEXES) return;
    ThreadCounts* counts = current(false);
    if (counts != nullptr && counts->armed) ++counts->allocations;
}

void noteRelease(void* p) {
    if (p == nullptr || slot == TLS_OUT_OF_INDEXES) return;
    ThreadCounts* counts = current(false);
    if (counts != nullptr && counts->armed) ++counts->releases;
}

// The real functions, from msvcrt's own exports.
using MallocFn = void*(__cdecl*)(size_t);
using CallocFn = void*(__cdecl*)(size_t, size_t);
using ReallocFn = void*(__cdecl*)(void*, size_t);
using FreeFn = void(__cdecl*)(void*);
using AlignedMallocFn = void*(__cdecl*)(size_t, size_t);
using AlignedReallocFn = void*(__cdecl*)(void*, size_t, size_t);
MallocFn realMalloc;
CallocFn realCalloc;
ReallocFn realRealloc;
FreeFn realFree;
AlignedMallocFn realAlignedMalloc;
AlignedReallocFn realAlignedRealloc;
FreeFn realAlignedFree;

void* __cdecl countingMalloc(size_t size) {
    noteAllocation();
    return realMalloc(size);
}
void* __cdecl countingCalloc(size_t n, size_t size) {
    noteAllocation();
    return realCalloc(n, size);
}
void* __cdecl countingRealloc(void* p, size_t size) {
    noteAllocation();
    return realRealloc(p, size);
}
void __cdecl countingFree(void* p) {
    noteRelease(p);
    realFree(p);
}
void* __cdecl countingAlignedMalloc(size_t size, size_t alignment) {
    noteAllocation();
    return realAlignedMalloc(size, alignment);
}
void* __cdecl countingAlignedRealloc(void* p, size_t size, size_t alignment) {
    noteAllocation();
    return realAlignedRealloc(p, size, alignment);
}
void __cdecl countingAlignedFree(void* p) {
    noteRelease(p);
    realAlignedFree(p);
}

struct Redirect {
    void* real;
    void* counting;
};
Redirect redirects[7];
int redirectCount = 0;
wchar_t windowsFolder[MAX_PATH];
size_t windowsFolderLength = 0;

bool prepare() {
    static const bool ready = [] {
        HMODULE crt = GetModuleHandleA("msvcrt.dll");
        if (crt == nullptr) return false;
        slot = TlsAlloc();
        if (slot == TLS_OUT_OF_INDEXES) return false;
        auto find = [crt](const char* name) { return reinterpret_cast<void*>(GetProcAddress(crt, name)); };
        realMalloc = reinterpret_cast<MallocFn>(find("malloc"));
        realCalloc = reinterpret_cast<CallocFn>(find("calloc"));
        realRealloc = reinterpret_cast<ReallocFn>(find("realloc"));
        realFree = reinterpret_cast<FreeFn>(find("free"));
        realAlignedMalloc = reinterpret_cast<AlignedMallocFn>(find("_aligned_malloc"));
        realAlignedRealloc = reinterpret_cast<AlignedReallocFn>(find("_aligned_realloc"));
        realAlignedFree = reinterpret_cast<FreeFn>(find("_aligned_free"));
        const Redirect all[] = {{reinterpret_cast<void*>(realMalloc), reinterpret_cast<void*>(&countingMalloc)},
                                {reinterpret_cast<void*>(realCalloc), reinterpret_cast<void*>(&countingCalloc)},
                                {reinterpret_cast<void*>(realRealloc), reinterpret_cast<void*>(&countingRealloc)},
                                {reinterpret_cast<void*>(realFree), reinterpret_cast<void*>(&countingFree)},
                                {reinterpret_cast<void*>(realAlignedMalloc),
                                 reinterpret_cast<void*>(&countingAlignedMalloc)},
                                {reinterpret_cast<void*>(realAlignedRealloc),
                                 reinterpret_cast<void*>(&countingAlignedRealloc)},
                                {reinterpret_cast<void*>(realAlignedFree),
                                 reinterpret_cast<void*>(&countingAlignedFree)}};
        for (const Redirect& r : all)
            if (r.real != nullptr) redirects[redirectCount++] = r;
        windowsFolderLength = GetWindowsDirectoryW(windowsFolder, MAX_PATH);
        return realMalloc != nullptr && realFree != nullptr && windowsFolderLength > 0;
    }();
    return ready;
}

// Rewrites the module's import slots that point at a real allocation function.
void redirectImports(HMODULE module) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return;
    for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        for (auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk); thunk->u1.Function != 0;
             ++thunk) {
            void** entry = reinterpret_cast<void**>(&thunk->u1.Function);
            for (int i = 0; i < redirectCount; ++i) {
                if (*entry != redirects[i].real) continue;
                DWORD previous = 0;
                if (VirtualProtect(entry, sizeof(void*), PAGE_READWRITE, &previous)) {
                    *entry = redirects[i].counting;
                    VirtualProtect(entry, sizeof(void*), previous, &previous);
                }
            }
        }
    }
}

// The loader's own list of modules, read in place: no system call and no
// allocation, so a scope may start for every block the suites process.
const PEB* processBlock() {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"  // GCC 12 misreads the segment-register read
    return NtCurrentTeb()->ProcessEnvironmentBlock;
#pragma GCC diagnostic pop
}

// Every loaded module outside the Windows folder.
void redirectLoadedModules() {
    if (!prepare()) return;
    const LIST_ENTRY* head = &processBlock()->Ldr->InMemoryOrderModuleList;
    for (const LIST_ENTRY* link = head->Flink; link != head; link = link->Flink) {
        const auto* entry = CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
        const UNICODE_STRING& name = entry->FullDllName;
        if (entry->DllBase == nullptr || name.Buffer == nullptr) continue;
        const size_t length = name.Length / sizeof(wchar_t);
        if (length >= windowsFolderLength && _wcsnicmp(name.Buffer, windowsFolder, windowsFolderLength) == 0)
            continue;
        redirectImports(static_cast<HMODULE>(entry->DllBase));
    }
}

}  // namespace

namespace TestSupport {

AllocationScope::AllocationScope() {
    redirectLoadedModules();
    if (ThreadCounts* counts = prepare() ? current(true) : nullptr) {
        counts->allocations = 0;
        counts->releases = 0;
        counts->armed = true;
    }
}

AllocationScope::~AllocationScope() {
    if (active) stop();
}

AllocationCounts AllocationScope::stop() {
    if (ThreadCounts* counts = prepare() ? current(false) : nullptr) counts->armed = false;
    active = false;
    return counts();
}

AllocationCounts AllocationScope::counts() const {
    const ThreadCounts* counts = prepare() ? current(false) : nullptr;
    return counts != nullptr ? AllocationCounts{counts->allocations, counts->releases} : AllocationCounts{};
}

bool allocationCounterActive() {
    redirectLoadedModules();
    void* volatile p = std::malloc(1);
    std::free(p);
    return interposed.load(std::memory_order_relaxed);
}

}  // namespace TestSupport
