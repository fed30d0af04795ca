// The LV2 bundle through lilv, in process: its description (ports, symbols,
// defaults, presets), its audio against the VST build's for the same events,
// program, block split and tempo, its state (round trip, hostile states,
// session and preset restores over host-owned ports), the UI protocol and the
// absence of heap use in run.
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>
#include <lv2/ui/ui.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "instrument/FactoryPrograms.h"
#include "instrument/ParameterTable.h"
#include "lv2/Lv2Instrument.h"
#include "lv2/Lv2Ports.h"
#include "lv2/Lv2Protocol.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/validation/ValidationSupport.h"

using namespace MorvelithLv2;
using Lv2Test::Instance;

namespace {

constexpr double kRate = 44100.0;

LilvNode* uri(const char* text) { return lilv_new_uri(Lv2Test::world(), text); }

// --- The port layout and its symbols ----------------------------------------------------

TEST(Lv2Ports, EveryNamedParameterHasOnePortInAscendingOrderAndReservedOnesNone) {
    int previous = -1;
    for (int control = 0; control < kControlPortCount; ++control) {
        const int parameter = kParameterOfControl[control];
        EXPECT_GT(parameter, previous) << "port " << control;
        previous = parameter;
        EXPECT_NE(Vst::parameterInfo(parameter).type, Vst::kParameterReserved) << parameter;
        EXPECT_EQ(portOfParameter(parameter), kFirstControlPort + control);
        EXPECT_EQ(parameterOfPort(kFirstControlPort + control), parameter);
    }
    int named = 0;
    for (int parameter = 0; parameter < kParameterCount; ++parameter) {
        const bool reserved = Vst::parameterInfo(parameter).type == Vst::kParameterReserved;
        named += reserved ? 0 : 1;
        EXPECT_EQ(portOfParameter(parameter) < 0, reserved) << parameter;
    }
    EXPECT_EQ(named, kControlPortCount);
    for (int port : std::initializer_list<int>{-1, kMidiInPort, kNotifyPort, kOutLeftPort, kOutRightPort, kPortCount})
        EXPECT_EQ(parameterOfPort(port), -1) << port;
}

TEST(Lv2Ports, SymbolsAreValidUniqueAndDerivedFromTheNames) {
    EXPECT_EQ(symbolFromName("Osc: DETUNE").view(), "osc_detune");
    EXPECT_EQ(symbolFromName("HPF : REL SYNCED").view(), "hpf_rel_synced");
    EXPECT_EQ(symbolFromName("Eq 1: Q").view(), "eq_1_q");
    EXPECT_EQ(symbolFromName("  --LPF:: RES--  ").view(), "lpf_res");
    EXPECT_EQ(symbolFromName("1st: A").view(), "_1st_a");
    EXPECT_EQ(symbolFromName(std::string(100, 'a')).view().size(), static_cast<size_t>(kSymbolBytes - 1));
    std::set<std::string> seen{"midi_in", "notify", "out_left", "out_right"};
    for (int control = 0; control < kControlPortCount; ++control) {
        const std::string symbol(symbolFromName(Vst::parameterInfo(kParameterOfControl[control]).name).view());
        ASSERT_FALSE(symbol.empty());
        EXPECT_FALSE(symbol[0] >= '0' && symbol[0] <= '9') << symbol;
        for (char c : symbol) EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_') << symbol;
        EXPECT_TRUE(seen.insert(symbol).second) << "duplicate symbol " << symbol;
    }
}

// --- The bundle as lilv reads it -------------------------------------------------------

class Lv2Bundle : public ::testing::Test {
protected:
    void SetUp() override { LV2_REQUIRE_BUNDLE(); }
};

TEST_F(Lv2Bundle, PortsCarryTheTableNamesDefaultsRangesAndSwitches) {
    const LilvPlugin* p = Lv2Test::plugin();
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(lilv_plugin_get_num_ports(p), static_cast<uint32_t>(kPortCount));
    LilvNode* input = uri(LV2_CORE__InputPort);
    LilvNode* control = uri(LV2_CORE__ControlPort);
    LilvNode* toggled = uri(LV2_CORE__toggled);
    LilvNode* instrument = uri(LV2_CORE__InstrumentPlugin);
    EXPECT_TRUE(lilv_node_equals(lilv_plugin_class_get_uri(lilv_plugin_get_class(p)), instrument));
    for (int c = 0; c < kControlPortCount; ++c) {
        const int parameter = kParameterOfControl[c];
        const Vst::ParameterInfo& info = Vst::parameterInfo(parameter);
        const LilvPort* port = lilv_plugin_get_port_by_index(p, static_cast<uint32_t>(kFirstControlPort + c));
        EXPECT_TRUE(lilv_port_is_a(p, port, input) && lilv_port_is_a(p, port, control));
        EXPECT_EQ(std::string(lilv_node_as_string(lilv_port_get_symbol(p, port))),
                  std::string(symbolFromName(info.name).view()));
        LilvNode* name = lilv_port_get_name(p, port);
        EXPECT_STREQ(lilv_node_as_string(name), info.name);
        lilv_node_free(name);
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(p, port, &def, &min, &max);
        ASSERT_TRUE(def && min && max) << info.name;
        EXPECT_EQ(lilv_node_as_float(def), info.defaultValue) << info.name;
        EXPECT_EQ(lilv_node_as_float(min), 0.0f);
        EXPECT_EQ(lilv_node_as_float(max), 1.0f);
        lilv_node_free(def);
        lilv_node_free(min);
        lilv_node_free(max);
        EXPECT_EQ(lilv_port_has_property(p, port, toggled), info.type == Vst::kParameterSwitch) << info.name;
    }
    for (LilvNode* n : {input, control, toggled, instrument}) lilv_node_free(n);
}

// The editor embeds itself in the host's window, so a host that cannot give
// it one must not try; and it lives on the DSP's notify port, which some
// hosts forward only to a UI that asks for it.
TEST_F(Lv2Bundle, TheUiRequiresItsParentAndAsksForTheNotifyPortsEvents) {
    LilvUIs* uis = lilv_plugin_get_uis(Lv2Test::plugin());
    ASSERT_EQ(lilv_uis_size(uis), 1u);
    const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
    const LilvNode* self = lilv_ui_get_uri(ui);
    EXPECT_STREQ(lilv_node_as_uri(self), kUiUri);
    LilvWorld* world = Lv2Test::world();
    LilvNode* required = uri(LV2_CORE__requiredFeature);
    LilvNode* optional = uri(LV2_CORE__optionalFeature);
    LilvNode* parent = uri(LV2_UI__parent);
    EXPECT_TRUE(lilv_world_ask(world, self, required, parent));
    EXPECT_FALSE(lilv_world_ask(world, self, optional, parent));

    LilvNode* notification = uri(LV2_UI__portNotification);
    LilvNodes* notifications = lilv_world_find_nodes(world, self, notification, nullptr);
    ASSERT_EQ(lilv_nodes_size(notifications), 1u);
    const LilvNode* entry = lilv_nodes_get(notifications, lilv_nodes_begin(notifications));
    LilvNode* pluginKey = uri(LV2_UI__plugin);
    LilvNode* indexKey = uri(LV2_UI_PREFIX "portIndex");
    LilvNode* protocolKey = uri(LV2_UI_PREFIX "protocol");
    LilvNode* plugin = lilv_world_get(world, entry, pluginKey, nullptr);
    LilvNode* index = lilv_world_get(world, entry, indexKey, nullptr);
    LilvNode* protocol = lilv_world_get(world, entry, protocolKey, nullptr);
    ASSERT_TRUE(plugin && index && protocol);
    EXPECT_TRUE(lilv_node_equals(plugin, lilv_plugin_get_uri(Lv2Test::plugin())));
    ASSERT_TRUE(lilv_node_is_int(index));
    const LilvPort* port = lilv_plugin_get_port_by_index(Lv2Test::plugin(), static_cast<uint32_t>(lilv_node_as_int(index)));
    ASSERT_NE(port, nullptr);
    EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(Lv2Test::plugin(), port)), "notify");
    EXPECT_STREQ(lilv_node_as_uri(protocol), LV2_ATOM__eventTransfer);
    for (LilvNode* n : {plugin, index, protocol, pluginKey, indexKey, protocolKey, notification, parent, optional, required})
        lilv_node_free(n);
    lilv_nodes_free(notifications);
    lilv_uis_free(uis);
}

TEST_F(Lv2Bundle, EveryFactoryPresetLoadsWithTheBankValuesAndName) {
    LilvNode* presetClass = uri(LV2_PRESETS__Preset);
    LilvNodes* presets = lilv_plugin_get_related(Lv2Test::plugin(), presetClass);
    EXPECT_EQ(lilv_nodes_size(presets), static_cast<unsigned>(kFactoryPresetCount));
    lilv_nodes_free(presets);
    lilv_node_free(presetClass);

    for (int program = 0; program < kFactoryPresetCount; ++program) {
        char text[64];
        std::snprintf(text, sizeof text, "%s%02d", kPresetUriPrefix, program);
        LilvNode* node = uri(text);
        lilv_world_load_resource(Lv2Test::world(), node);
        LilvState* state = lilv_state_new_from_world(Lv2Test::world(), Lv2Test::UridMap::instance().mapFeature(), node);
        lilv_node_free(node);
        ASSERT_NE(state, nullptr) << text;
        EXPECT_STREQ(lilv_state_get_label(state), Vst::factoryProgramName(program));
        EXPECT_EQ(lilv_state_get_num_properties(state), 1u) << "the factory program key";
        struct Seen {
            int count = 0;
            int wrong = 0;
            const float* expected;
        } seen{0, 0, Vst::factoryProgramValues(program)};
        lilv_state_emit_port_values(
            state,
            [](const char* symbol, void* user, const void* value, uint32_t size, uint32_t) {
                auto* s = static_cast<Seen*>(user);
                ++s->count;
                for (int c = 0; c < kControlPortCount; ++c) {
                    const int parameter = kParameterOfControl[c];
                    if (symbolFromName(Vst::parameterInfo(parameter).name).view() != symbol) continue;
                    if (size != sizeof(float) || *static_cast<const float*>(value) != s->expected[parameter])
                        ++s->wrong;
                    return;
                }
                ++s->wrong;  // a symbol that is no port
            },
            &seen);
        EXPECT_EQ(seen.count, kControlPortCount) << text;
        EXPECT_EQ(seen.wrong, 0) << text;
        lilv_state_free(state);
    }
}

// --- Audio: the same events through both front doors -------------------------------------

struct Render {
    int program;
    std::vector<int> blocks;
    double bpm;
    double laterBpm;  // from the second half on (0: none)
};

Validation::Stereo renderVst(const Render& r, const Host::Timeline& timeline, int64_t frames) {
    Host::HostedPlugin vst(Validation::pluginPath());
    vst.open({kRate, Validation::kLargestBlock, -1});
    vst.transport().setTempo(r.bpm);
    vst.selectProgram(r.program);
    if (r.laterBpm <= 0.0) return Validation::render(vst, timeline, frames, r.blocks);
    Validation::Stereo first = Validation::render(vst, timeline, frames / 2, r.blocks);
    vst.transport().setTempo(r.laterBpm);
    Host::Timeline rest;
    for (const auto& e : timeline.events)
        if (e.frame >= frames / 2) rest.events.push_back({e.frame - frames / 2, e.message});
    Validation::Stereo second = Validation::render(vst, rest, frames - frames / 2, r.blocks);
    first.left.insert(first.left.end(), second.left.begin(), second.left.end());
    first.right.insert(first.right.end(), second.right.begin(), second.right.end());
    return first;
}

Validation::Stereo renderLv2(const Render& r, const Host::Timeline& timeline, int64_t frames) {
    Instance lv2(kRate);
    lv2.activate();
    lv2.setTempo(r.bpm);
    lv2.sendProgram(r.program);
    if (r.laterBpm <= 0.0) return Validation::render(lv2, timeline, frames, r.blocks);
    Validation::Stereo first = Validation::render(lv2, timeline, frames / 2, r.blocks);
    lv2.setTempo(r.laterBpm);
    Host::Timeline rest;
    for (const auto& e : timeline.events)
        if (e.frame >= frames / 2) rest.events.push_back({e.frame - frames / 2, e.message});
    Validation::Stereo second = Validation::render(lv2, rest, frames - frames / 2, r.blocks);
    first.left.insert(first.left.end(), second.left.begin(), second.left.end());
    first.right.insert(first.right.end(), second.right.begin(), second.right.end());
    return first;
}

class Lv2Audio : public ::testing::TestWithParam<Render> {
protected:
    void SetUp() override {
        LV2_REQUIRE_BUNDLE();
        VALIDATION_REQUIRE_PLUGIN();
    }
};

TEST_P(Lv2Audio, IsBitIdenticalToTheVstBuild) {
    const Render& r = GetParam();
    const Host::Timeline timeline = Validation::testPhrase(kRate);
    const int64_t frames = Validation::phraseFrames(kRate);
    const Validation::Stereo vst = renderVst(r, timeline, frames);
    const Validation::Stereo lv2 = renderLv2(r, timeline, frames);
    EXPECT_GT(Validation::peak(vst), 0.01) << "the phrase must be audible for the comparison to mean anything";
    EXPECT_IDENTICAL_AUDIO(vst, lv2);
}

// Two splits (one regular, one uneven with blocks past the frame's 256-frame
// sub-block and an empty one), two tempos, programs plain and tempo-synced.
INSTANTIATE_TEST_SUITE_P(ProgramsSplitsTempos, Lv2Audio,
                         ::testing::Values(Render{0, {64}, 120.0, 0.0}, Render{0, {13, 1, 4096, 0, 511, 97}, 120.0, 0.0},
                                           Render{21, {64}, 137.0, 0.0},
                                           Render{21, {1000, 7, 256}, 137.0, 0.0},
                                           Render{75, {256}, 96.0, 171.0},
                                           Render{75, {13, 1, 4096, 0, 511, 97}, 96.0, 171.0}),
                         [](const ::testing::TestParamInfo<Render>& info) {
                             std::string name = "program" + std::to_string(info.param.program) + "_blocks";
                             for (int b : info.param.blocks) name += "_" + std::to_string(b);
                             name += "_" + std::to_string(static_cast<int>(info.param.bpm)) + "bpm";
                             if (info.param.laterBpm > 0.0)
                                 name += "_then" + std::to_string(static_cast<int>(info.param.laterBpm));
                             return name;
                         });

TEST_F(Lv2Bundle, TheHostTempoReachesTheEngine) {
    VALIDATION_REQUIRE_PLUGIN();
    const Host::Timeline timeline = Validation::testPhrase(kRate);
    const int64_t frames = Validation::phraseFrames(kRate);
    const Validation::Stereo slow = renderLv2({75, {256}, 80.0, 0.0}, timeline, frames);
    const Validation::Stereo fast = renderLv2({75, {256}, 180.0, 0.0}, timeline, frames);
    EXPECT_GT(Validation::maxDifference(slow, fast), 1e-3) << "program 75's synced delay should follow the tempo";
}

// --- State -------------------------------------------------------------------------------

// Every value of every program and every name, as the DSP reports through the
// protocol after selecting each program in turn.
struct Bank {
    std::vector<std::string> names;
    std::vector<std::vector<float>> values;
};

Bank readBank(Instance& lv2) {
    Bank bank;
    const int current = lv2.fetchPicture().program;
    for (int program = 0; program < kProgramCount; ++program) {
        lv2.sendProgram(program);
        lv2.runSilent(64);
        bank.values.push_back(lv2.picture().values);
    }
    bank.names = lv2.picture().names;
    lv2.sendProgram(current);
    lv2.runSilent(64);
    return bank;
}

// Random values into every program through the host's ports, then a rename.
void randomise(Instance& lv2, unsigned seed) {
    std::srand(seed);
    for (int program : {3, 0, 42}) {
        lv2.sendProgram(program);
        lv2.runSilent(64);
        // Program 42 is played afterwards: only its oscillator and pitch are
        // random there, so it stays audible.
        const int controls = program == 42 ? portOfParameter(Vst::kPitchLfoDepth) + 1 - kFirstControlPort : kControlPortCount;
        for (int c = 0; c < controls; ++c)
            lv2.controls()[static_cast<size_t>(c)] = static_cast<float>(std::rand() % 1000) / 999.0f;
        lv2.runSilent(64);
        lv2.sendRename("Random " + std::to_string(program));
        lv2.runSilent(64);
    }
}

Validation::Stereo playNote(Instance& lv2, int frames = 22050) {
    Host::Timeline timeline;
    timeline.events.push_back({0, {{0x90, 57, 110}, 3}});
    timeline.events.push_back({frames / 2, {{0x80, 57, 0}, 3}});
    return Validation::render(lv2, timeline, frames, {256});
}

class Lv2State : public ::testing::Test {
protected:
    void SetUp() override { LV2_REQUIRE_BUNDLE(); }
};

TEST_F(Lv2State, ARestoredStateHasEveryProgramValueAndNameAndTheSameSound) {
    Instance first;
    first.activate();
    randomise(first, 7);
    const Lv2Test::StateBlob saved = first.save();
    const Bank before = readBank(first);
    ASSERT_EQ(first.fetchPicture().program, 42);

    Instance second;
    second.controls() = first.controls();  // the host restores the ports it saved
    ASSERT_EQ(second.restore(saved), LV2_STATE_SUCCESS);
    second.activate();
    EXPECT_EQ(second.fetchPicture().program, 42);
    const Bank after = readBank(second);
    EXPECT_EQ(after.names, before.names);
    ASSERT_EQ(after.values.size(), before.values.size());
    for (size_t p = 0; p < before.values.size(); ++p) EXPECT_EQ(after.values[p], before.values[p]) << "program " << p;
    EXPECT_EQ(after.names[42], "Random 42");

    // Fresh instances both, so the voices start alike.
    Instance replay;
    replay.controls() = first.controls();
    ASSERT_EQ(replay.restore(saved), LV2_STATE_SUCCESS);
    replay.activate();
    Instance original;
    original.controls() = first.controls();
    ASSERT_EQ(original.restore(saved), LV2_STATE_SUCCESS);
    original.activate();
    const Validation::Stereo a = playNote(replay);
    EXPECT_GT(Validation::peak(a), 0.01);
    EXPECT_IDENTICAL_AUDIO(a, playNote(original));
}

TEST_F(Lv2State, HostileStatesAreRefusedAndChangeNothing) {
    Instance lv2;
    lv2.activate();
    randomise(lv2, 11);
    const Lv2Test::StateBlob good = lv2.save();
    const Bank before = readBank(lv2);
    auto& map = Lv2Test::UridMap::instance();
    const LV2_URID bankKey = map.map(kBankKey);
    const LV2_URID programKey = map.map(kCurrentProgramKey);
    const LV2_URID portsKey = map.map(kPortValuesKey);
    ASSERT_EQ(good.values.count(bankKey), 1u);
    constexpr int kRecordBytes = Vst::ProgramRecord::sizeFor(kParameterCount);

    std::vector<std::pair<std::string, Lv2Test::StateBlob>> hostile;
    auto variant = [&](const std::string& what, auto change) {
        Lv2Test::StateBlob blob = good;
        change(blob);
        hostile.emplace_back(what, blob);
    };
    variant("a byte short", [&](auto& b) { b.values[bankKey].bytes.pop_back(); });
    variant("a byte long", [&](auto& b) { b.values[bankKey].bytes.push_back(0); });
    variant("empty bank", [&](auto& b) { b.values[bankKey].bytes.clear(); });
    variant("bad parameter count", [&](auto& b) {
        const int32_t count = 180;
        std::memcpy(b.values[bankKey].bytes.data() + 7 * kRecordBytes + Vst::ProgramRecord::kParameterCountOffset, &count, 4);
    });
    variant("NaN value", [&](auto& b) {
        const float nan = std::nanf("");
        std::memcpy(b.values[bankKey].bytes.data() + 99 * kRecordBytes + Vst::ProgramRecord::kValuesOffset + 4 * 170, &nan, 4);
    });
    variant("infinite value", [&](auto& b) {
        const float inf = INFINITY;
        std::memcpy(b.values[bankKey].bytes.data() + Vst::ProgramRecord::kValuesOffset, &inf, 4);
    });
    variant("program out of range", [&](auto& b) {
        const int32_t program = 100;
        std::memcpy(b.values[programKey].bytes.data(), &program, 4);
    });
    variant("program of the wrong type", [&](auto& b) { b.values[programKey].type = map.map(LV2_ATOM__Float); });
    variant("bank of the wrong type", [&](auto& b) { b.values[bankKey].type = map.map(LV2_ATOM__String); });
    variant("NaN port value", [&](auto& b) {
        const float nan = std::nanf("");
        std::memcpy(b.values[portsKey].bytes.data() + 8, &nan, 4);
    });
    variant("short port values", [&](auto& b) { b.values[portsKey].bytes.resize(16); });

    for (const auto& [what, blob] : hostile) {
        EXPECT_NE(lv2.restore(blob), LV2_STATE_SUCCESS) << what;
        lv2.runSilent(64);
        EXPECT_EQ(lv2.fetchPicture().program, 42) << what;
    }
    const Bank after = readBank(lv2);
    EXPECT_EQ(after.names, before.names);
    EXPECT_EQ(after.values, before.values);
}

// A session as a host keeps it: lilv serialises the state and the ports to
// Turtle. After the session's last save the UI selected another program, so
// the saved ports are stale: they must not be laid over the restored bank.
TEST_F(Lv2State, ASessionReopensWithItsBankAndProgramDespiteStalePorts) {
    Instance first;
    first.activate();
    randomise(first, 23);
    first.sendProgram(5);
    first.runSilent(64);
    const std::string session = first.saveAsTurtle();
    ASSERT_NE(session.find("bank"), std::string::npos);
    const Bank before = readBank(first);

    Instance reopened;
    reopened.restoreFromTurtle(session);
    reopened.activate();
    reopened.runSilent(256);
    EXPECT_EQ(reopened.fetchPicture().program, 5);
    for (int c = 0; c < kControlPortCount; ++c)
        EXPECT_NEAR(reopened.controls()[c], first.controls()[c], 1e-6) << "lilv restores the port values too";
    const Bank after = readBank(reopened);
    EXPECT_EQ(after.names, before.names);
    EXPECT_EQ(after.values, before.values);
}

TEST_F(Lv2State, APresetGivesTheFactorySoundWhateverThePortsHeld) {
    Instance lv2;
    lv2.activate();
    // The ports already hold program 21's values (a preset loaded before), then
    // the UI selects program 9: loading preset 21 again changes no port value.
    lv2.loadPreset(21);
    lv2.runSilent(64);
    lv2.sendProgram(9);
    lv2.runSilent(64);
    lv2.loadPreset(21);
    lv2.runSilent(64);
    const Lv2Test::Picture picture = lv2.fetchPicture();
    EXPECT_EQ(picture.program, 9);
    EXPECT_EQ(picture.names[9], Vst::factoryProgramName(21));
    const float* factory = Vst::factoryProgramValues(21);
    ASSERT_EQ(picture.values.size(), static_cast<size_t>(kParameterCount));
    for (int i = 0; i < kParameterCount; ++i) EXPECT_EQ(picture.values[i], factory[i]) << "parameter " << i;

    // A port the user moves afterwards is applied on top.
    lv2.setParameterPort(Vst::kLpfTune, 0.25f);
    lv2.runSilent(64);
    EXPECT_EQ(lv2.fetchPicture().values[Vst::kLpfTune], 0.25f);
}

TEST_F(Lv2State, PortsAtTheirDefaultsLeaveProgramZeroAsDesignedAndChangedPortsApply) {
    Instance lv2;
    lv2.activate();
    lv2.runSilent(256);
    const Lv2Test::Picture picture = lv2.fetchPicture();
    const float* factory = Vst::factoryProgramValues(0);
    for (int i = 0; i < kParameterCount; ++i) EXPECT_EQ(picture.values[i], factory[i]) << "parameter " << i;
    // Program 0 differs from the table defaults somewhere, or the test proves nothing.
    int differing = 0;
    for (int c = 0; c < kControlPortCount; ++c)
        differing += factory[kParameterOfControl[c]] != Vst::parameterInfo(kParameterOfControl[c]).defaultValue;
    EXPECT_GT(differing, 5);

    lv2.setParameterPort(Vst::kOscDetune, 0.75f);
    lv2.setParameterPort(Vst::kLpfRes, 0.123f);
    lv2.runSilent(64);
    const Lv2Test::Picture changed = lv2.fetchPicture();
    EXPECT_EQ(changed.values[Vst::kOscDetune], 0.75f);
    EXPECT_EQ(changed.values[Vst::kLpfRes], 0.123f);
    // A port the host leaves alone is not re-applied after a program change.
    lv2.sendProgram(2);
    lv2.runSilent(64);
    lv2.runSilent(64);
    EXPECT_EQ(lv2.fetchPicture().values[Vst::kOscDetune], Vst::factoryProgramValues(2)[Vst::kOscDetune]);
}

// --- The UI protocol --------------------------------------------------------------------------

TEST_F(Lv2Bundle, UiMessagesSelectRenameCopyPasteAndInitialise) {
    Instance lv2;
    lv2.activate();
    lv2.runSilent(64);
    EXPECT_EQ(lv2.picture().program, 0) << "the first run announces the program";
    EXPECT_EQ(lv2.picture().names.size(), static_cast<size_t>(kProgramCount));

    lv2.sendProgram(30);
    lv2.runSilent(64);
    EXPECT_EQ(lv2.picture().program, 30);
    EXPECT_EQ(lv2.picture().names[30], Vst::factoryProgramName(30));
    const std::vector<float> thirty = lv2.picture().values;

    lv2.sendRename("A name longer than twenty-three");
    lv2.runSilent(64);
    EXPECT_EQ(lv2.picture().names[30], std::string("A name longer than twenty-three").substr(0, 23));

    lv2.sendCommand(kCommandCopy);
    lv2.sendProgram(80);
    lv2.runSilent(64);
    lv2.sendCommand(kCommandPaste);
    lv2.runSilent(64);
    EXPECT_EQ(lv2.picture().program, 80);
    EXPECT_EQ(lv2.picture().values, thirty);

    lv2.sendCommand(kCommandInit);
    lv2.runSilent(64);
    for (int i = 0; i < kParameterCount; ++i)
        EXPECT_EQ(lv2.picture().values[i], Vst::parameterInfo(i).defaultValue) << "parameter " << i;

    // Out of range and unknown requests change nothing.
    lv2.sendProgram(100);
    lv2.sendProgram(-1);
    lv2.sendCommand(9);
    lv2.runSilent(64);
    EXPECT_EQ(lv2.fetchPicture().program, 80);
}

// Paste and initialise rewrite the current program; with no UI open to write
// the ports, the engine must still play the new values at once. Free-running
// parts of the engine keep their phase through a program change, so the
// reference instance goes through the same blocks and selections and, where
// the other sends the command, selects a program that holds those values.
TEST_F(Lv2Bundle, PasteAndInitialiseSoundAtOnceWithoutAUi) {
    VALIDATION_REQUIRE_PLUGIN();
    const Host::Timeline timeline = Validation::testPhrase(kRate);
    const int64_t frames = Validation::phraseFrames(kRate);
    const std::vector<int> blocks{64};
    // Program 30, then `second` selected, then `last` (a command or, as -1 - p, a program p).
    const auto play = [&](int second, int last, std::vector<float>* values = nullptr) {
        Instance lv2(kRate);
        lv2.activate();
        lv2.sendProgram(30);
        lv2.runSilent(64);
        lv2.sendCommand(kCommandCopy);
        lv2.sendProgram(second);
        // Long enough for the selection's fade-out and application to be over.
        for (int block = 0; block < 4; ++block) lv2.runSilent(4096);
        if (last >= 0) lv2.sendCommand(last);
        else lv2.sendProgram(-1 - last);
        Validation::Stereo out = Validation::render(lv2, timeline, frames, blocks);
        if (values != nullptr) *values = lv2.fetchPicture().values;
        return out;
    };
    const auto bankValues = [](int program) {
        return std::vector<float>(Vst::factoryProgramValues(program), Vst::factoryProgramValues(program) + kParameterCount);
    };
    // 30 pasted over 80 sounds as 30; 30 initialised as the defaults, which program 76 holds.
    std::vector<float> values;
    const Validation::Stereo pasted = play(80, kCommandPaste, &values);
    EXPECT_EQ(values, bankValues(30));
    const Validation::Stereo thirty = play(80, -1 - 30);
    EXPECT_IDENTICAL_AUDIO(thirty, pasted);
    const Validation::Stereo initialised = play(30, kCommandInit, &values);
    EXPECT_EQ(values, bankValues(76));
    const Validation::Stereo defaults = play(30, -1 - 76);
    EXPECT_IDENTICAL_AUDIO(defaults, initialised);

    // The programs differ audibly, so the comparisons can tell them apart.
    EXPECT_GT(Validation::peak(thirty), 0.01);
    EXPECT_GT(Validation::maxDifference(thirty, play(80, -1 - 80)), 0.01);
    EXPECT_GT(Validation::maxDifference(defaults, play(30, -1 - 30)), 0.01);
}

// --- Real time ---------------------------------------------------------------------------------

TEST_F(Lv2Bundle, RunAllocatesNothing) {
    if (!Validation::countsAllocations()) GTEST_SKIP() << "the allocation counter is not interposed in this build";
    Instance lv2(kRate);
    lv2.activate();
    lv2.setTempo(133.0);
    lv2.sendProgram(12);
    lv2.runSilent(256);  // the program's picture is built by the (here synchronous) worker
    const Host::Timeline timeline = Validation::testPhrase(kRate);
    Validation::HeapUse heap;
    // Ports moving while the phrase plays, and the tempo changing, in blocks of all sizes.
    for (int round = 0; round < 3; ++round) {
        lv2.setParameterPort(Vst::kLpfTune, 0.2f * static_cast<float>(round));
        lv2.setParameterPort(Vst::kAmpSyncEnable, static_cast<float>(round % 2));
        lv2.setTempo(100.0 + 20.0 * round);
        Validation::render(lv2, timeline, Validation::phraseFrames(kRate) / 3, Validation::kVaryingBlocks, &heap);
    }
    EXPECT_GT(heap.blocks, 30);
    EXPECT_EQ(heap.allocations, 0);
    EXPECT_EQ(heap.releases, 0);
}

}  // namespace
