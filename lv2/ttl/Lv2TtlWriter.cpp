// Writes the LV2 bundle's Turtle at build time from the parameter table and
// the factory bank: manifest.ttl (plug-in, UI, preset index), morvelith.ttl
// (the plug-in and its 124 ports) and presets.ttl (one pset:Preset per factory
// program 0..75). Usage: morvelith_lv2_ttl <bundle-dir> [--ui]
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "instrument/FactoryPrograms.h"
#include "instrument/ParameterTable.h"
#include "lv2/Lv2Instrument.h"
#include "lv2/Lv2Ports.h"

namespace {

using namespace MorvelithLv2;

constexpr const char* kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix owl: <http://www.w3.org/2002/07/owl#> .\n"
    "@prefix patch: <http://lv2plug.in/ns/ext/patch#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix rsz: <http://lv2plug.in/ns/ext/resize-port#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix work: <http://lv2plug.in/ns/ext/worker#> .\n"
    "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";

// A Turtle string literal.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// A decimal that reads back as the same float (9 significant digits), always
// with a point or an exponent so Turtle takes it as a number, not an integer.
std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    std::string out = text;
    if (out.find_first_of(".eE") == std::string::npos) out += ".0";
    return out;
}

std::string presetUri(int program) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", program);
    return std::string("<") + kPresetUriPrefix + text + ">";
}

std::string pluginUri() { return std::string("<") + kPluginUri + ">"; }
std::string uiUri() { return std::string("<") + kUiUri + ">"; }

std::string manifest(bool withUi) {
    std::ostringstream out;
    out << kPrefixes;
    out << pluginUri() << "\n    a lv2:Plugin ;\n    lv2:binary <morvelith_lv2.so> ;\n"
        << "    rdfs:seeAlso <morvelith.ttl> .\n\n";
    if (withUi) {
        out << uiUri() << "\n    a ui:X11UI ;\n    ui:binary <morvelith_lv2_ui.so> ;\n"
            // The editor embeds itself in the host's window: without ui:parent it cannot open.
            << "    lv2:requiredFeature urid:map , ui:idleInterface , ui:parent ;\n"
            << "    lv2:optionalFeature ui:resize , ui:touch ;\n"
            << "    lv2:extensionData ui:idleInterface ;\n"
            // Some hosts forward an output port's events to the UI only when asked to.
            << "    ui:portNotification [\n"
            << "        ui:plugin " << pluginUri() << " ;\n"
            << "        ui:portIndex " << kNotifyPort << " ;\n"
            << "        ui:protocol atom:eventTransfer\n"
            << "    ] .\n\n";
    }
    for (int program = 0; program < kFactoryPresetCount; ++program) {
        out << presetUri(program) << "\n    a pset:Preset ;\n    lv2:appliesTo " << pluginUri() << " ;\n"
            << "    rdfs:label " << quoted(Vst::factoryProgramName(program)) << " ;\n"
            << "    rdfs:seeAlso <presets.ttl> .\n\n";
    }
    return out.str();
}

std::string pluginDescription(bool withUi) {
    std::ostringstream out;
    out << kPrefixes;
    out << pluginUri() << "\n    a lv2:Plugin , lv2:InstrumentPlugin , doap:Project ;\n"
        << "    doap:name \"Morvelith\" ;\n"
        << "    doap:maintainer [ foaf:name \"Morvelith\" ] ;\n"
        << "    lv2:minorVersion 0 ;\n    lv2:microVersion 0 ;\n"
        << "    lv2:requiredFeature urid:map ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable , work:schedule , opts:options ;\n"
        << "    opts:supportedOption bufsz:maxBlockLength , bufsz:nominalBlockLength ;\n"
        << "    lv2:extensionData state:interface , work:interface ;\n";
    if (withUi) out << "    ui:ui " << uiUri() << " ;\n";
    out << "    lv2:port [\n"
        << "        a lv2:InputPort , atom:AtomPort ;\n"
        << "        atom:bufferType atom:Sequence ;\n"
        << "        atom:supports midi:MidiEvent , time:Position , patch:Message ;\n"
        << "        lv2:designation lv2:control ;\n"
        << "        lv2:index " << kMidiInPort << " ;\n        lv2:symbol \"midi_in\" ;\n        lv2:name \"MIDI In\"\n"
        << "    ] , [\n"
        // No atom:supports patch:Message here: hosts take such an output for
        // lv2:Parameter updates and warn about our own properties; the UI reads it all the same.
        << "        a lv2:OutputPort , atom:AtomPort ;\n"
        << "        atom:bufferType atom:Sequence ;\n"
        << "        rsz:minimumSize " << kNotifyBufferBytes << " ;\n"
        << "        lv2:index " << kNotifyPort << " ;\n        lv2:symbol \"notify\" ;\n        lv2:name \"Notify\"\n"
        << "    ] , [\n"
        << "        a lv2:OutputPort , lv2:AudioPort ;\n"
        << "        lv2:index " << kOutLeftPort << " ;\n        lv2:symbol \"out_left\" ;\n        lv2:name \"Out Left\"\n"
        << "    ] , [\n"
        << "        a lv2:OutputPort , lv2:AudioPort ;\n"
        << "        lv2:index " << kOutRightPort << " ;\n        lv2:symbol \"out_right\" ;\n        lv2:name \"Out Right\"\n";
    for (int control = 0; control < kControlPortCount; ++control) {
        const int parameter = kParameterOfControl[control];
        const Vst::ParameterInfo& info = Vst::parameterInfo(parameter);
        out << "    ] , [\n"
            << "        a lv2:InputPort , lv2:ControlPort ;\n"
            << "        lv2:index " << kFirstControlPort + control << " ;\n"
            << "        lv2:symbol " << quoted(symbolFromName(info.name).view()) << " ;\n"
            << "        lv2:name " << quoted(info.name) << " ;\n"
            << "        lv2:default " << number(info.defaultValue) << " ;\n"
            << "        lv2:minimum 0.0 ;\n        lv2:maximum 1.0";
        if (info.type == Vst::kParameterSwitch) out << " ;\n        lv2:portProperty lv2:toggled";
        out << "\n";
    }
    out << "    ] .\n";
    return out.str();
}

std::string presets() {
    std::ostringstream out;
    out << kPrefixes;
    out << "<" << kFactoryProgramKey << ">\n    a rdf:Property , owl:DatatypeProperty ;\n"
        << "    rdfs:label \"factory program\" ;\n"
        << "    rdfs:comment \"The factory program a preset loads into the current program.\" ;\n"
        << "    rdfs:range xsd:int .\n\n";
    for (int program = 0; program < kFactoryPresetCount; ++program) {
        const float* values = Vst::factoryProgramValues(program);
        out << presetUri(program) << "\n    a pset:Preset ;\n    lv2:appliesTo " << pluginUri() << " ;\n"
            << "    rdfs:label " << quoted(Vst::factoryProgramName(program)) << " ;\n"
            // The state names the factory program, so a host's preset load also
            // brings its name and is not defeated by ports the host thinks unchanged.
            << "    state:state [\n        <" << kFactoryProgramKey << "> \"" << program << "\"^^xsd:int\n    ] ;\n"
            << "    lv2:port [\n";
        for (int control = 0; control < kControlPortCount; ++control) {
            const int parameter = kParameterOfControl[control];
            out << "        lv2:symbol " << quoted(symbolFromName(Vst::parameterInfo(parameter).name).view())
                << " ;\n        pset:value " << number(values[parameter]) << "\n"
                << (control + 1 < kControlPortCount ? "    ] , [\n" : "    ] .\n\n");
        }
    }
    return out.str();
}

// The symbols are a stored-file contract; a clash or an empty one stops the build.
bool symbolsAreSound() {
    std::set<std::string> seen{"midi_in", "notify", "out_left", "out_right"};
    for (int control = 0; control < kControlPortCount; ++control) {
        const std::string symbol(symbolFromName(Vst::parameterInfo(kParameterOfControl[control]).name).view());
        if (symbol.empty() || !seen.insert(symbol).second) {
            std::cerr << "morvelith_lv2_ttl: port symbol \"" << symbol << "\" is empty or taken\n";
            return false;
        }
    }
    return true;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) std::cerr << "morvelith_lv2_ttl: cannot write " << path << "\n";
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: morvelith_lv2_ttl <bundle-dir> [--ui]\n";
        return 2;
    }
    const std::string dir = argv[1];
    const bool withUi = argc > 2 && std::string_view(argv[2]) == "--ui";
    if (!symbolsAreSound()) return 1;
    const bool written = writeFile(dir + "/manifest.ttl", manifest(withUi)) &&
                         writeFile(dir + "/morvelith.ttl", pluginDescription(withUi)) &&
                         writeFile(dir + "/presets.ttl", presets());
    return written ? 0 : 1;
}
