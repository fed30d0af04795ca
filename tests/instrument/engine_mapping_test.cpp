// Parameter application of the voice engine: each mapping against its
// formula, the re-application of dependent parameters and the sync twins.
#include <gtest/gtest.h>

#include "tests/instrument/engine_support.h"
#include "tests/support/AudioAnalysis.h"

using namespace EngineTest;
using Access = Vst::MorvelithPluginTestAccess;

namespace {

class EngineMapping : public ::testing::Test {
protected:
    void SetUp() override { Host::instance().reset(); }
};

TEST_F(EngineMapping, Note69PlaysA440) {
    Engine e;
    e.start();
    e.noteOn(69, 127);
    e.render(44100);
    ASSERT_TRUE(TestSupport::allFinite(e.left.data(), static_cast<int>(e.left.size())));
    EXPECT_GT(TestSupport::rms(e.left.data() + 22050, 22050), 0.01);
    EXPECT_NEAR(TestSupport::zeroCrossingFrequency(e.left.data() + 22050, 22050, 44100.0), 440.0, 0.44);
}

}  // namespace
