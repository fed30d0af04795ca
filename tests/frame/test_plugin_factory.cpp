// Factory of a small plug-in library made of the frame's entry point and the
// recording test synth, so the entry and its "main" alias can be loaded and
// called the way hosts do without the instrument.
#include "frame/Entry.h"
#include "tests/frame/FrameTestSupport.h"

namespace Vst {
AudioEffect* createPluginInstance(audioMasterCallback audioMaster) { return new FrameTest::TestSynth(audioMaster); }
}  // namespace Vst
