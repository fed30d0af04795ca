// morvelith-bank-measure: renders factory programs on their preview phrases and
// prints, one tab-separated line per program, how a listener would judge them:
// integrated loudness and true peak of the preview (velocity 100), its tail's
// length and fall from 1 s to 10 s after the last note-off; with --full also
// the highest sample peak at velocity 127 (preview and held phrases) and the
// largest note-on excess. A summary of the bank's loudness goes to stderr.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ListeningMeasures.h"
#include "tools/gallery/PhraseRender.h"

namespace {

// Programs up to this one are designed sounds held to the bank's limits.
constexpr int kLastLimitedProgram = 74;

struct Figures {
    std::string name;
    TestSupport::Loudness preview;
    TestSupport::Tail tail;
    double loudPeakDb = -1000.0;
    double onsetExcessDb = -400.0;
};

void worstOnsets(const Gallery::PhraseTake& take, double& worst) {
    for (int64_t on : take.noteOnFrames)
        worst = std::max(worst, TestSupport::onsetExcessDb(take.left, take.right, on, take.sampleRate));
}

Figures measure(const std::string& plugin, int program, bool full) {
    using namespace Gallery;
    Figures f;
    const PhraseKind kind = phraseFor(program);
    const PhraseTake preview = renderPhrase(plugin, program, {kind, kPhraseVelocity, 0, 10.5});
    f.name = preview.programName;
    f.preview = TestSupport::measureLoudness(preview.left, preview.right, preview.previewFrames, preview.sampleRate);
    f.tail = TestSupport::measureTail(preview.left, preview.right, preview.lastNoteOffFrame, preview.sampleRate);
    if (full) {
        for (const Performance& p : {Performance{kind, 127, 0, 1.0}, Performance{PhraseKind::Long, 127,
                                                                                 heldTranspose(kind), 1.0}}) {
            const PhraseTake loud = renderPhrase(plugin, program, p);
            f.loudPeakDb = std::max(f.loudPeakDb, TestSupport::measureLoudness(loud.left, loud.right,
                                                                               loud.left.size(), loud.sampleRate)
                                                      .samplePeakDb);
            worstOnsets(loud, f.onsetExcessDb);
        }
        worstOnsets(preview, f.onsetExcessDb);
    }
    return f;
}

int usage() {
    std::fprintf(stderr, "Usage: morvelith-bank-measure --plugin PATH [--programs FIRST-LAST] [--full] [--jobs N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string plugin;
    int first = 0, last = Gallery::kPreviewProgramCount - 1, jobs = 1;
    bool full = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--plugin" && i + 1 < argc) plugin = argv[++i];
        else if (arg == "--programs" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%d-%d", &first, &last) == 1) last = first;
        } else if (arg == "--full") full = true;
        else if (arg == "--jobs" && i + 1 < argc) jobs = std::max(1, std::atoi(argv[++i]));
        else return usage();
    }
    if (plugin.empty() || first < 0 || last < first || last >= Gallery::kPreviewProgramCount) return usage();

    std::vector<Figures> figures(static_cast<size_t>(last - first + 1));
    std::vector<std::string> errors(figures.size());
    // Each worker takes every jobs-th program; instances share nothing.
    std::vector<std::thread> workers;
    for (int w = 0; w < jobs; ++w) {
        workers.emplace_back([&, w] {
            for (size_t k = static_cast<size_t>(w); k < figures.size(); k += static_cast<size_t>(jobs)) {
                try {
                    figures[k] = measure(plugin, first + static_cast<int>(k), full);
                } catch (const std::exception& e) {
                    errors[k] = e.what();
                }
            }
        });
    }
    for (std::thread& t : workers) t.join();

    std::printf("program\tname\tlufs\ttrue_peak_dbtp\ttail_s\ttail_fall_db%s\n", full ? "\tpeak127_dbfs\tonset_db" : "");
    std::vector<double> limited;
    for (size_t k = 0; k < figures.size(); ++k) {
        const int program = first + static_cast<int>(k);
        if (!errors[k].empty()) {
            std::fprintf(stderr, "morvelith-bank-measure: program %d: %s\n", program, errors[k].c_str());
            return 1;
        }
        const Figures& f = figures[k];
        std::printf("%d\t%s\t%.1f\t%.1f\t%.1f\t%.1f", program, f.name.c_str(), f.preview.integratedLufs,
                    f.preview.truePeakDb, f.tail.seconds, f.tail.at1sDb - f.tail.at10sDb);
        if (full) std::printf("\t%.1f\t%.1f", f.loudPeakDb, f.onsetExcessDb);
        std::printf("\n");
        if (program <= kLastLimitedProgram) limited.push_back(f.preview.integratedLufs);
    }
    if (!limited.empty()) {
        std::vector<double> sorted = limited;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        const double median = n % 2 ? sorted[n / 2] : 0.5 * (sorted[n / 2 - 1] + sorted[n / 2]);
        std::fprintf(stderr, "Loudness of programs %d-%d: median %.1f LUFS, from %.1f to %.1f (spread %.1f LU)\n",
                     first, std::min(last, kLastLimitedProgram), median, sorted.front(), sorted.back(),
                     sorted.back() - sorted.front());
    }
    return 0;
}
