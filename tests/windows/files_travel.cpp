// Preset and bank files carried between platforms: the same program built for
// Linux and for Windows writes a known state to travel.fxp / travel.fxb, or
// loads another build's files into a fresh instance and stores them again;
// the stores must come out byte for byte as read. Run by files_travel.sh.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "frame/Entry.h"
#include "frame/Plugin.h"

namespace {

constexpr int kBlock = 256;
constexpr int kPresetSource = 41;  // the program written to the preset file
constexpr int kPresetTarget = 5;   // where the preset lands when it is read

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// One instance, opened and running, driven through its record as a host does.
class Instance {
public:
    Instance() : plugin(dynamic_cast<Vst::Plugin*>(Vst::createPluginInstance(&hostCallback))) {
        if (plugin == nullptr) throw std::runtime_error("the factory made no frame plug-in");
        effect = plugin->getAeffect();
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        dispatch(effSetBlockSize, 0, kBlock);
        dispatch(effMainsChanged, 0, 1);
    }
    ~Instance() {
        dispatch(effMainsChanged, 0, 0);
        dispatch(effClose);  // deletes the instance
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    // Changes reach the store through the audio thread's blocks.
    void run(int blocks) {
        std::vector<float> left(kBlock), right(kBlock);
        float* outputs[2] = {left.data(), right.data()};
        for (int b = 0; b < blocks; ++b) effect->processReplacing(effect, nullptr, outputs, kBlock);
    }

    Vst::Plugin* plugin;
    AEffect* effect;
};

// A generator with the same sequence on every platform and library.
class Sequence {
public:
    float unit() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<float>(state >> 40) / 16777216.0f;
    }

private:
    uint64_t state = 0x4D6F7276656C6974ull;
};

std::vector<char> bytesOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Three programs changed in every value and renamed; program 41 is the preset.
void writeState(const std::filesystem::path& folder) {
    Instance instance;
    Sequence sequence;
    for (int program : {97, 3, kPresetSource}) {
        instance.dispatch(effSetProgram, 0, program);
        instance.run(2);
        const int count = instance.effect->numParams;
        for (int i = 0; i < count; ++i) instance.effect->setParameter(instance.effect, i, sequence.unit());
        instance.effect->setParameter(instance.effect, program % count, 0.0f);
        instance.effect->setParameter(instance.effect, (program * 7) % count, 1.0f);
        std::string name = "Travel " + std::to_string(program);
        instance.dispatch(effSetProgramName, 0, 0, name.data());
        instance.run(2);
    }
    std::filesystem::create_directories(folder);
    std::ofstream bank(folder / "travel.fxb", std::ios::binary);
    instance.plugin->writeBankFile(bank);
    std::ofstream preset(folder / "travel.fxp", std::ios::binary);
    instance.plugin->writePresetFile(preset, kPresetSource);
    if (!bank.flush() || !preset.flush()) throw std::runtime_error("cannot write into " + folder.string());
}

// Reports the first differing byte; answers whether the two files are equal.
bool sameBytes(const std::filesystem::path& read, const std::filesystem::path& stored) {
    const std::vector<char> a = bytesOf(read), b = bytesOf(stored);
    if (a == b) return true;
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    std::fprintf(stderr, "%s (%zu bytes) and %s (%zu bytes) differ from byte %zu\n", read.string().c_str(),
                 a.size(), stored.string().c_str(), b.size(), at);
    return false;
}

// Loads another build's files into fresh instances and stores them again.
bool checkState(const std::filesystem::path& folder, const std::filesystem::path& out) {
    std::filesystem::create_directories(out);
    {
        Instance instance;
        std::ifstream in(folder / "travel.fxb", std::ios::binary);
        instance.plugin->readBankFile(in);
        instance.run(4);
        std::ofstream bank(out / "travel.fxb", std::ios::binary);
        instance.plugin->writeBankFile(bank);
    }
    {
        Instance instance;
        instance.dispatch(effSetProgram, 0, kPresetTarget);
        instance.run(2);
        std::ifstream in(folder / "travel.fxp", std::ios::binary);
        instance.plugin->readPresetFile(in, kPresetTarget);
        instance.run(4);
        std::ofstream preset(out / "travel.fxp", std::ios::binary);
        instance.plugin->writePresetFile(preset, kPresetTarget);
    }
    const bool bankSame = sameBytes(folder / "travel.fxb", out / "travel.fxb");
    const bool presetSame = sameBytes(folder / "travel.fxp", out / "travel.fxp");
    return bankSame && presetSame;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "write" && argc == 3) {
            writeState(argv[2]);
            return 0;
        }
        if (command == "check" && argc == 4) return checkState(argv[2], argv[3]) ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "files_travel: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: %s write FOLDER | check FOLDER OUT_FOLDER\n", argv[0]);
    return 2;
}
