// The factory bank as it is edited: each named program is its name and the
// list of parameters it changes from the defaults, by parameter name. The
// lists are checked while compiling (values in 0..1, each parameter once) and
// expanded once, over the parameter table's defaults, into 100 full records.
#include "instrument/FactoryPrograms.h"

#include <cstdio>
#include <initializer_list>
#include <iterator>

#include "frame/ProgramRecord.h"
#include "instrument/ParameterIndex.h"
#include "instrument/ParameterTable.h"

namespace Vst {

namespace {

// A setting names its parameter, so a reserved index cannot be written here.
struct Setting {
    ParameterIndex index;
    float value;
};

struct ProgramSketch {
    const char* name;
    std::initializer_list<Setting> differences;
};

// Programs 0..75. A sound is designed by filling in its list; everything not
// listed keeps its default.
constexpr ProgramSketch kNamedPrograms[] = {
    {"Insectoplasm", {}},
    {"Wonder Child", {}},
    {"Fatphase", {}},
    {"Stimulead", {}},
    {"Aggression", {}},
    {"Drillerlead", {}},
    {"Dronetrap", {}},
    {"Cannibal", {}},
    {"Bleeperlead", {}},
    {"Nice Bleeper", {}},
    {"Close Encounter", {}},
    {"Gunfun", {}},
    {"C-Driver", {}},
    {"Welcome", {}},
    {"Screamer", {}},
    {"Chaos", {}},
    {"Chippy", {}},
    {"Proton Chainsaw", {}},
    {"Monster", {}},
    {"Boombass", {}},
    {"Woofer", {}},
    {"Howler Bass", {}},
    {"Immaterial", {}},
    {"Nervous Wind", {}},
    {"Metallostad", {}},
    {"Bumperbounce 1", {}},
    {"Bumperbounce 2", {}},
    {"Bumperbounce 3", {}},
    {"Silverfall", {}},
    {"Didgee Oink", {}},
    {"Electrified 1", {}},
    {"Electrified 2", {}},
    {"Electrified 3", {}},
    {"Electrisweep", {}},
    {"Servocrush", {}},
    {"Servoload", {}},
    {"Toasted Circuit", {}},
    {"Drone Buzz", {}},
    {"Busycreature", {}},
    {"Nanoprobe", {}},
    {"Square Wobble", {}},
    {"Laserkick", {}},
    {"Roostack", {}},
    {"Scratch N Drums", {}},
    {"Visitor X", {}},
    {"Hornet Buzz", {}},
    {"Shy Bulb", {}},
    {"Retroblip", {}},
    {"Blazerlead", {}},
    {"Boosterlead", {}},
    {"Into the Trees", {}},
    {"Lost in a Forest", {}},
    {"Tremolonging", {}},
    {"Gamecreature", {}},
    {"Telehole", {}},
    {"Icy Rubber Keys", {}},
    {"Airy Rubber Keys", {}},
    {"Fragile", {}},
    {"Nice Bell", {}},
    {"Soft Pick", {}},
    {"Challenging", {}},
    {"Whipflush", {}},
    {"Whammy Bass", {}},
    {"Zappy Kickback Bass", {}},
    {"Sweeping Threat Bass", {}},
    {"Pumping Pull Bass", {}},
    {"Phaser Bass", {}},
    {"Dist Punch Bass", {}},
    {"Phased Bottom Bass", {}},
    {"Bleeping Siren Bass", {}},
    {"Wicked Witch", {}},
    {"Resonant Vibra Block", {}},
    {"Sleezoid", {}},
    {"Sneaky Worm", {}},
    {"Dist Sweeper", {}},
    {"Basic Reso Delay",
     {
         {kOscTrig, 1.0f},
         {kOscMassRate, 0.0f},
         {kOscMassVari, 0.0f},
         {kLpfTune, 0.7f},
         {kLpfRes, 0.305f},
         {kHpfTune, 0.6f},
         {kLfoSyncEnable, 0.0f},
         {kVibraRate, 0.5f},
         {kVibraRateSynced, 0.475f},
         {kTrillSyncEnable, 0.0f},
         {kTrillTrig, 0.0f},
         {kMasterLevel, 0.408999f},
         {kAmpDcy, 0.25f},
         {kAmpAtkSynced, 0.05f},
         {kAmpDcySynced, 0.25f},
         {kAmpRelSynced, 0.1f},
         {kLpfSyncEnable, 0.0f},
         {kLpfDcy, 0.25f},
         {kLpfAtkSynced, 0.05f},
         {kLpfDcySynced, 0.25f},
         {kLpfRelSynced, 0.1f},
         {kHpfSyncEnable, 0.0f},
         {kHpfDcy, 0.25f},
         {kHpfAtkSynced, 0.05f},
         {kHpfDcySynced, 0.25f},
         {kHpfRelSynced, 0.1f},
         {kPhaserRangeMax, 1.0f},
         {kDelayEnable, 1.0f},
         {kDelayL, 0.675f},
         {kDelayR, 0.71f},
         {kDelayRSynced, 0.29f},
         {kHpfDelayTune, 0.3f},
         {kBpfDelayMix, 1.0f},
         {kBpfDelayTune, 0.3f},
     }},
};

constexpr int kNamedProgramCount = static_cast<int>(std::size(kNamedPrograms));
// Programs 76..80 are the defaults; 81..99 open the phaser's sweep fully.
constexpr int kFirstOpenSweepInit = 81;
constexpr std::initializer_list<Setting> kOpenSweep = {{kPhaserRangeMax, 1.0f}};

consteval bool settingsAreValid(std::initializer_list<Setting> settings) {
    for (const Setting* s = settings.begin(); s != settings.end(); ++s) {
        if (s->index < 0 || s->index >= kParameterCount) return false;
        if (!(s->value >= 0.0f && s->value <= 1.0f)) return false;
        for (const Setting* t = settings.begin(); t != s; ++t) {
            if (t->index == s->index) return false;
        }
    }
    return true;
}

consteval bool everyProgramIsValid() {
    for (const ProgramSketch& program : kNamedPrograms) {
        if (!settingsAreValid(program.differences)) return false;
        int length = 0;
        while (program.name[length] != 0) ++length;
        if (length == 0 || length > ProgramRecord::kMaxNameLength) return false;
    }
    return true;
}

static_assert(kNamedProgramCount == 76, "programs 0..75 are the named sounds");
static_assert(everyProgramIsValid(), "a factory setting lies outside 0..1, repeats a parameter or a name is too long");
static_assert(settingsAreValid(kOpenSweep));

class FactoryBank {
public:
    FactoryBank() {
        float defaults[kFactoryRecordFloats] = {};
        for (int index = 0; index < kParameterCount; ++index) defaults[index] = parameterInfo(index).defaultValue;
        for (int program = 0; program < kFactoryProgramCount; ++program) {
            float* record = values[program];
            for (int i = 0; i < kFactoryRecordFloats; ++i) record[i] = defaults[i];
            if (program < kNamedProgramCount) {
                names[program] = kNamedPrograms[program].name;
                apply(record, kNamedPrograms[program].differences);
            } else {
                char* name = initNames[program - kNamedProgramCount];
                std::snprintf(name, ProgramRecord::kNameBytes, "Init %d", program);
                names[program] = name;
                if (program >= kFirstOpenSweepInit) apply(record, kOpenSweep);
            }
        }
    }

    const char* names[kFactoryProgramCount] = {};
    float values[kFactoryProgramCount][kFactoryRecordFloats] = {};

private:
    static void apply(float* record, std::initializer_list<Setting> differences) {
        for (const Setting& setting : differences) record[setting.index] = setting.value;
    }

    char initNames[kFactoryProgramCount - kNamedProgramCount][ProgramRecord::kNameBytes] = {};
};

const FactoryBank& factoryBank() {
    static const FactoryBank bank;
    return bank;
}

bool isFactoryProgram(int program) { return program >= 0 && program < kFactoryProgramCount; }

}  // namespace

const char* factoryProgramName(int program) {
    return isFactoryProgram(program) ? factoryBank().names[program] : nullptr;
}

const float* factoryProgramValues(int program) {
    return isFactoryProgram(program) ? factoryBank().values[program] : nullptr;
}

}  // namespace Vst
