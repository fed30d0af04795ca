// The Windows allocation counter counts what the real-time proofs need it to:
// allocations in the test program and, through the redirected imports, inside
// a plug-in DLL loaded later, on the arming thread only.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/DynamicLoader.h"
#include "tests/support/AllocationCounter.h"
#include "vst/AEffect.h"

namespace {

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(WindowsAllocationCounter, CountsTheProgramsOwnHeapUseOnTheArmingThreadOnly) {
    ASSERT_TRUE(TestSupport::allocationCounterActive());
    TestSupport::AllocationScope scope;
    auto block = std::make_unique<std::vector<int>>(1000);
    block.reset();
    const TestSupport::AllocationCounts mine = scope.counts();
    EXPECT_EQ(mine.allocations, 2);
    EXPECT_EQ(mine.releases, 2);
    std::thread other([] { std::vector<double> elsewhere(4096, 1.0); });
    other.join();
    // Starting a thread allocates here, but nothing the other thread did is counted.
    EXPECT_LT(scope.stop().allocations, mine.allocations + 8);
}

TEST(WindowsAllocationCounter, CountsAllocationsInsideAPluginLoadedLater) {
    std::string why;
    void* library = Host::Loader::open(MORVELITH_PLUGIN_PATH, why);
    ASSERT_NE(library, nullptr) << why;
    auto entry = reinterpret_cast<AEffect* (*)(audioMasterCallback)>(Host::Loader::symbol(library, "VSTPluginMain"));
    ASSERT_NE(entry, nullptr);
    AEffect* effect = nullptr;
    TestSupport::AllocationCounts made;
    {
        TestSupport::AllocationScope scope;
        effect = entry(host);  // the instance and its units are built on the heap
        made = scope.stop();
    }
    ASSERT_NE(effect, nullptr);
    EXPECT_GT(made.allocations, 10);
    TestSupport::AllocationScope closing;
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    EXPECT_GT(closing.stop().releases, 10);
    EXPECT_TRUE(Host::Loader::close(library));
}

}  // namespace
