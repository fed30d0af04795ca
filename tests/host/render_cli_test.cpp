// morvelith-render run as a user runs it: usage and option errors, clear
// failures with non-zero exit codes (missing plug-in, bad MIDI, unwritable
// output, missing program), and WAV files whose contents are checked with
// libsndfile (the recorder's ramp proves every frame reaches the file in order).
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <ostream>
#include <string>
#include <vector>

#include "host/DemoPhrase.h"
#include "tests/host/SmfBuilder.h"
#include "tests/support/AudioAnalysis.h"

namespace {

struct ToolRun {
    int exitCode;
    std::string output;  // standard output and standard error together
};

std::string tempPath(const std::string& name) { return "/tmp/morvelith_cli_" + std::to_string(getpid()) + "_" + name; }

// Runs a shell command line, capturing both output streams.
ToolRun runShell(const std::string& commandLine) {
    const std::string capture = tempPath("output.txt");
    const std::string command = commandLine + " >" + capture + " 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(capture);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(capture.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
}

ToolRun runTool(const std::string& arguments) { return runShell(std::string(RENDER_TOOL_PATH) + " " + arguments); }

struct Wav {
    SF_INFO info{};
    std::vector<float> left, right;
};

// Reads a WAV file the tool wrote, then deletes it.
bool takeWav(const std::string& path, Wav& wav) {
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &wav.info);
    std::remove(path.c_str());  // the open file stays readable until closed
    if (file == nullptr) return false;
    std::vector<float> interleaved(static_cast<size_t>(wav.info.frames * wav.info.channels));
    sf_readf_float(file, interleaved.data(), wav.info.frames);
    sf_close(file);
    for (sf_count_t i = 0; i < wav.info.frames; ++i) {
        wav.left.push_back(interleaved[size_t(i * wav.info.channels)]);
        wav.right.push_back(interleaved[size_t(i * wav.info.channels + wav.info.channels - 1)]);
    }
    return true;
}

bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

void writeFile(const std::string& path, const TestSmf::Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

// What the recorder plug-in saw in a run of the tool (its RECORDER_REPORT file).
struct RecorderReport {
    struct Block {
        int frames;
        double samplePos, ppqPos, tempo;
    };
    struct Event {
        int block, deltaFrames;
        int bytes[3];
        int64_t frame;  // absolute: the start of its block plus its offset
    };
    double rate = 0.0;
    long long maxBlock = 0;
    int programAtResume = -1;
    std::vector<Block> blocks;
    std::vector<Event> events;
};

// Runs the tool on the recorder and reads back what the recorder wrote at effClose.
ToolRun runRecorder(const std::string& arguments, RecorderReport& report) {
    const std::string reportPath = tempPath("recorder_report.txt");
    std::remove(reportPath.c_str());
    const ToolRun run = runShell("RECORDER_REPORT=" + reportPath + " " + RENDER_TOOL_PATH + " --plugin " +
                                 RECORDER_PATH + " " + arguments);
    std::ifstream in(reportPath);
    std::string line;
    std::vector<int64_t> blockStarts{0};
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "rate") fields >> report.rate;
        if (kind == "maxBlock") fields >> report.maxBlock;
        if (kind == "programAtResume") fields >> report.programAtResume;
        if (kind == "block") {
            RecorderReport::Block b{};
            fields >> b.frames >> b.samplePos >> b.ppqPos >> b.tempo;
            report.blocks.push_back(b);
            blockStarts.push_back(blockStarts.back() + b.frames);
        }
        if (kind == "event") {
            RecorderReport::Event e{};
            fields >> e.block >> e.deltaFrames >> e.bytes[0] >> e.bytes[1] >> e.bytes[2];
            report.events.push_back(e);
        }
    }
    std::remove(reportPath.c_str());
    for (RecorderReport::Event& e : report.events)
        e.frame = e.block < int(blockStarts.size()) ? blockStarts[size_t(e.block)] + e.deltaFrames : -1;
    return run;
}

}  // namespace

TEST(RenderTool, HelpListsEveryOption) {
    const ToolRun run = runTool("--help");
    EXPECT_EQ(run.exitCode, 0);
    for (const char* option :
         {"--plugin", "--program", "--midi", "--tempo", "--rate", "--block", "--length", "--out", "--format"})
        EXPECT_NE(run.output.find(option), std::string::npos) << option;
}

struct BadCommand {
    const char* name;
    std::string arguments;
    int exitCode;
    const char* message;
};
void PrintTo(const BadCommand& c, std::ostream* os) { *os << c.name; }


class RenderToolFailure : public ::testing::TestWithParam<BadCommand> {};

TEST_P(RenderToolFailure, ExitsNonZeroWithAClearMessage) {
    // "{garbage}" stands for a file that starts like a MIDI file and then is not one.
    std::string arguments = GetParam().arguments;
    const std::string garbage = tempPath("garbage.mid");
    if (const size_t at = arguments.find("{garbage}"); at != std::string::npos) {
        std::ofstream(garbage) << "MThd but then nothing sensible";
        arguments.replace(at, 9, garbage);
    }
    const ToolRun run = runTool(arguments);
    std::remove(garbage.c_str());
    EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.output;
    EXPECT_NE(run.output.find(GetParam().message), std::string::npos) << run.output;
}

namespace {
const std::string kRecorder = std::string("--plugin ") + RECORDER_PATH;
}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Commands, RenderToolFailure,
    ::testing::Values(
        BadCommand{"UnknownOption", "--loud", 2, "unknown option '--loud'"},
        BadCommand{"MissingValue", "--rate", 2, "--rate needs a value"},
        BadCommand{"RateNotANumber", "--rate 44k", 2, "--rate must be"},
        BadCommand{"BlockZero", "--block 0", 2, "--block must be"},
        BadCommand{"NegativeLength", "--length -1", 2, "--length must be"},
        BadCommand{"BadFormat", "--format mp3", 2, "--format must be"},
        BadCommand{"ProgramNotANumber", "--program two", 2, "--program must be"},
        BadCommand{"NegativeProgram", "--program=-1", 2, "--program must be"},
        BadCommand{"TempoTooSlow", "--tempo 5", 2, "--tempo must be"},
        BadCommand{"TempoNotFinite", "--tempo inf", 2, "--tempo must be"},
        BadCommand{"FractionalRate", "--rate 44100.5", 2, "--rate must be"},
        BadCommand{"BlockTooLarge", "--block 8193", 2, "--block must be"},
        BadCommand{"LengthWithJunk", "--length 3s", 2, "--length must be"},
        BadCommand{"EmptyPluginPath", "--plugin=", 2, "--plugin needs a path"},
        BadCommand{"PositionalArgument", "song.mid", 2, "unknown option 'song.mid'"},
        BadCommand{"MissingPlugin", "--plugin /nonexistent/x.so --out /tmp/x.wav", 1, "plug-in not found"},
        BadCommand{"NotAPlugin", "--plugin " RECORDER_NO_ENTRY_PATH " --out /tmp/x.wav", 1, "exports neither"},
        BadCommand{"MissingMidi", kRecorder + " --midi /nonexistent/song.mid", 1, "bad MIDI file"},
        BadCommand{"BadMidi", kRecorder + " --midi {garbage}", 1, "bad MIDI file"},
        BadCommand{"UnwritableOutput", kRecorder + " --out /nonexistent/dir/out.wav", 1, "cannot write"},
        BadCommand{"MissingProgram", kRecorder + " --program 3", 1, "program 3 does not exist"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RenderTool, WritesEveryFrameInOrderAndReportsPluginCpu) {
    const std::string out = tempPath("ramp.wav");
    const ToolRun run = runTool(kRecorder + " --rate 22050 --block 100 --length 1.5 --out " + out);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Plug-in CPU time:"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("per second of audio"), std::string::npos) << run.output;
    Wav wav;
    ASSERT_TRUE(takeWav(out, wav));
    EXPECT_EQ(wav.info.channels, 2);
    EXPECT_EQ(wav.info.samplerate, 22050);
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ASSERT_EQ(wav.info.frames, 33075);
    for (size_t i = 0; i < wav.left.size(); ++i) {
        ASSERT_EQ(wav.left[i], float(i)) << "frame " << i;
        ASSERT_EQ(wav.right[i], -float(i)) << "frame " << i;
    }
}

TEST(RenderTool, DefaultLengthIsThePhrasePlusTheTail) {
    const std::string out = tempPath("default.wav");
    // At 240 beats per minute the eight-beat demo phrase, whose last note is let go
    // a twentieth of a beat early, ends at 7.95 / 4 = 1.9875 s; the tail adds 2 s.
    const ToolRun run = runTool(kRecorder + " --tempo 240 --format pcm24 --out " + out);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    Wav wav;
    ASSERT_TRUE(takeWav(out, wav));
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(wav.info.samplerate, 44100);
    EXPECT_EQ(wav.info.frames, std::llround(3.9875 * 44100.0));
}

TEST(RenderTool, PlaysAMidiFileThroughAmsynth) {
    const char* amsynth = "/usr/lib/vst/amsynth_vst.so";
    if (!exists(amsynth)) GTEST_SKIP() << amsynth << " is not installed (Debian package amsynth)";
    using namespace TestSmf;
    Bytes body;
    tempo(body, 0, 400000);
    event(body, 0, {0x90, 57, 110});
    event(body, 480, {64, 90});
    event(body, 0, {0x80, 57, 0});
    event(body, 480, {0x80, 64, 0});
    endOfTrack(body);
    const std::string midi = tempPath("phrase.mid");
    writeFile(midi, concat({header(0, 1, 480), track(body)}));
    const std::string out = tempPath("amsynth.wav");

    const ToolRun run = runTool(std::string("--plugin ") + amsynth + " --midi " + midi + " --rate 48000 --out " + out);
    std::remove(midi.c_str());
    ASSERT_EQ(run.exitCode, 0) << run.output;
    Wav wav;
    ASSERT_TRUE(takeWav(out, wav));
    // Two notes of 0.4 s at the file's tempo, then the two-second tail.
    EXPECT_EQ(wav.info.frames, 48000 * 28 / 10);
    const int n = static_cast<int>(wav.left.size());
    EXPECT_TRUE(TestSupport::allFinite(wav.left.data(), n));
    EXPECT_GT(TestSupport::toDb(TestSupport::rms(wav.left.data(), n)), -50.0);
}

TEST(RenderTool, ShowsAProgressBarOnlyOnATerminalAndOnlyForLongRenders) {
    if (std::system("command -v script >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "the script utility (util-linux) is needed to give the tool a terminal";
    const std::string out = tempPath("progress.wav");
    // script(1) runs the tool on a pseudo-terminal and copies what it wrote.
    auto onTerminal = [&](const std::string& length) {
        const std::string inner = std::string(RENDER_TOOL_PATH) + " " + kRecorder + " --length " + length +
                                  " --out " + out;
        return runShell("script -qec '" + inner + "' /dev/null");
    };
    const ToolRun longOnTerminal = onTerminal("8");
    EXPECT_EQ(longOnTerminal.exitCode, 0) << longOnTerminal.output;
    EXPECT_NE(longOnTerminal.output.find("[########################################] 100%"), std::string::npos)
        << longOnTerminal.output;
    const ToolRun shortOnTerminal = onTerminal("1");
    EXPECT_EQ(shortOnTerminal.output.find("100%"), std::string::npos) << shortOnTerminal.output;
    const ToolRun longToAFile = runTool(kRecorder + " --length 8 --out " + out);
    EXPECT_EQ(longToAFile.exitCode, 0);
    EXPECT_EQ(longToAFile.output.find("100%"), std::string::npos) << longToAFile.output;
    std::remove(out.c_str());
}

TEST(RenderTool, ProgramBlockRateAndTempoReachThePluginWithTheDemoPhrase) {
    const std::string out = tempPath("options.wav");
    RecorderReport report;
    const ToolRun run = runRecorder("--program 2 --block 100 --rate 22050 --tempo 90 --out " + out, report);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    Wav wav;
    ASSERT_TRUE(takeWav(out, wav));
    EXPECT_EQ(report.rate, 22050.0);
    EXPECT_EQ(report.maxBlock, 100);
    EXPECT_EQ(report.programAtResume, 2);
    ASSERT_FALSE(report.blocks.empty());
    int64_t position = 0;
    for (size_t b = 0; b < report.blocks.size(); ++b) {
        const RecorderReport::Block& block = report.blocks[b];
        if (b + 1 < report.blocks.size()) {
            EXPECT_EQ(block.frames, 100) << "block " << b;
        }
        EXPECT_EQ(block.samplePos, double(position)) << "block " << b;
        EXPECT_NEAR(block.ppqPos, double(position) / 22050.0 * 90.0 / 60.0, 1e-9) << "block " << b;
        EXPECT_EQ(block.tempo, 90.0) << "block " << b;
        position += block.frames;
    }
    EXPECT_EQ(position, wav.info.frames);

    // The same phrase, placed by the library at the same rate, arrives frame for frame.
    const Host::Timeline expected = Host::demoPhrase(90.0).toTimeline(22050.0);
    ASSERT_EQ(report.events.size(), expected.events.size());
    for (size_t i = 0; i < expected.events.size(); ++i) {
        EXPECT_EQ(report.events[i].frame, expected.events[i].frame) << "event " << i;
        for (int k = 0; k < 3; ++k) EXPECT_EQ(report.events[i].bytes[k], expected.events[i].message.bytes[k]) << i;
    }
    // Eight beats at 90 beats per minute, the last note let go a twentieth of a beat early, then the 2 s tail.
    EXPECT_EQ(wav.info.frames, std::llround((8.0 - 0.05) * 60.0 / 90.0 * 22050.0 + 2.0 * 22050.0));
}

namespace {

// 480 ticks per quarter note at 120 beats per minute, halving the quarter note at
// tick 960 (one second): a note from tick 480 (0.5 s) to tick 1440 (1.25 s).
TestSmf::Bytes tempoMapSong() {
    using namespace TestSmf;
    Bytes body;
    tempo(body, 0, 500000);
    event(body, 480, {0x90, 60, 100});
    tempo(body, 480, 250000);
    event(body, 480, {0x80, 60, 0});
    endOfTrack(body);
    return concat({header(0, 1, 480), track(body)});
}

}  // namespace

TEST(RenderTool, AMidiFilePlaysAlongItsTempoMapOrAtTheGivenTempo) {
    const std::string midi = tempPath("tempo_map.mid");
    writeFile(midi, tempoMapSong());
    const std::string out = tempPath("tempo_map.wav");

    RecorderReport followed;
    const ToolRun run = runRecorder("--midi " + midi + " --rate 48000 --block 64 --length 2 --out " + out, followed);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    ASSERT_EQ(followed.events.size(), 2u);
    EXPECT_EQ(followed.events[0].frame, 24000);
    EXPECT_EQ(followed.events[1].frame, 60000);
    ASSERT_EQ(followed.blocks.size(), 1500u);  // 96000 frames in blocks of 64
    for (const RecorderReport::Block& b : followed.blocks)
        EXPECT_EQ(b.tempo, b.samplePos < 48000.0 ? 120.0 : 240.0) << "block at " << b.samplePos;
    // Two quarter notes in the first second, four in the next.
    EXPECT_NEAR(followed.blocks.back().ppqPos, 2.0 + (96000.0 - 64.0 - 48000.0) / 48000.0 * 4.0, 1e-9);

    RecorderReport steady;
    const ToolRun steadyRun = runRecorder("--midi " + midi + " --tempo 60 --rate 48000 --block 64 --out " + out, steady);
    std::remove(midi.c_str());
    ASSERT_EQ(steadyRun.exitCode, 0) << steadyRun.output;
    Wav wav;
    ASSERT_TRUE(takeWav(out, wav));
    // Beats stay beats: the note now spans beats 1 to 3, one second each.
    ASSERT_EQ(steady.events.size(), 2u);
    EXPECT_EQ(steady.events[0].frame, 48000);
    EXPECT_EQ(steady.events[1].frame, 144000);
    for (const RecorderReport::Block& b : steady.blocks) ASSERT_EQ(b.tempo, 60.0);
    EXPECT_EQ(wav.info.frames, 48000 * (3 + 2));  // the track ends with the note; then the tail
}

// Regression: a render that failed halfway drew a full bar ("100%") before its error.
TEST(RenderTool, AFailedRenderLeavesTheProgressBarWhereItStopped) {
    if (std::system("command -v script >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "the script utility (util-linux) is needed to give the tool a terminal";
    const std::string out = tempPath("too_large.wav");
    // A 200 KiB file-size limit (with SIGXFSZ ignored) makes a write fail about half a second in.
    const std::string inner = std::string("trap \"\" XFSZ; ulimit -f 200; ") + RENDER_TOOL_PATH + " " + kRecorder +
                              " --length 60 --out " + out;
    const ToolRun run = runShell("script -qec '" + inner + "' /dev/null");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_EQ(run.output.find("100%"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("cannot write"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("/ 60.0 s"), std::string::npos) << "no bar was drawn: " << run.output;
    EXPECT_FALSE(exists(out)) << "the unfinished file is removed";
    std::remove(out.c_str());
}

TEST(RenderTool, OptionsAlsoTakeTheirValueAfterAnEqualsSign) {
    const std::string out = tempPath("equals.wav");
    RecorderReport report;
    const ToolRun run =
        runRecorder("--program=1 --block=50 --rate=8000 --length=0.25 --format=pcm24 --out=" + out, report);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    Wav wav;
    ASSERT_TRUE(takeWav(out, wav));
    EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(wav.info.frames, 2000);
    EXPECT_EQ(report.programAtResume, 1);
    EXPECT_EQ(report.maxBlock, 50);
    EXPECT_EQ(report.rate, 8000.0);
    EXPECT_EQ(report.blocks.size(), 40u);
}
