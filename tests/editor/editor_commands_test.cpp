// The command panel and the name field, pressed with injected clicks. File
// dialogs and message boxes run as a stand-in "zenity" on PATH, which records
// its arguments and answers with a prepared path (or cancels), so the exact
// titles, filters and message texts are seen as the desktop would get them.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "editor/EditorLayout.h"
#include "editor/controls/CProgramBrowser.h"
#include "gui/BuiltInDialogs.h"
#include "tests/editor/EditorTestSupport.h"

using namespace EditorTest;
namespace Layout = Vst::EditorLayout;
namespace fs = std::filesystem;

namespace {

std::string programName(Vst::Plugin& plugin, int program) {
    char name[Vst::ProgramRecord::kNameBytes] = {};
    plugin.getProgramNameIndexed(0, program, name);
    return name;
}

}  // namespace

class EditorCommands : public EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        char pattern[] = "/tmp/editor_commands_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        if (!oldPath.empty()) setenv("PATH", oldPath.c_str(), 1);
        EditorFixture::TearDown();
        fs::remove_all(folder);
    }

    // Desktop dialogs through a stand-in zenity: each run appends its
    // arguments to calls.txt (one per line, then "--end"); a file selection
    // prints the path in answer.txt, or cancels when there is none.
    void useStandInDialogs() {
        oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (folder + ":/bin:/usr/bin").c_str(), 1);
        setDialogMode(CDialogMode::desktop);
        const std::string script = folder + "/zenity";
        std::ofstream out(script);
        out << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" << folder << "/calls.txt'\n"
            << "echo --end >> '" << folder << "/calls.txt'\n"
            << "case \"$*\" in *--file-selection*)\n"
            << "  [ -s '" << folder << "/answer.txt' ] || exit 1\n"
            << "  cat '" << folder << "/answer.txt'; exit 0;;\nesac\nexit 0\n";
        out.close();
        chmod(script.c_str(), 0755);
    }
    void answer(const std::string& path) { std::ofstream(folder + "/answer.txt") << path << "\n"; }
    void cancelNextDialog() { fs::remove(folder + "/answer.txt"); }

    // The argument lists of every dialog run so far.
    std::vector<std::vector<std::string>> dialogs() {
        std::vector<std::vector<std::string>> runs(1);
        std::ifstream in(folder + "/calls.txt");
        for (std::string line; std::getline(in, line);) {
            if (line == "--end") runs.emplace_back();
            else runs.back().push_back(line);
        }
        runs.pop_back();
        return runs;
    }
    bool has(const std::vector<std::string>& run, const std::string& argument) {
        return std::find(run.begin(), run.end(), argument) != run.end();
    }
    // Idles like a host until `count` dialogs have run and ended (5 s at most).
    void idleUntilDialogs(size_t count) {
        auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < limit) {
            idle(1);
            if (dialogs().size() >= count) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // The selector notices the end at a later idle.
        for (int i = 0; i < 30; ++i) {
            idle(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    void press(long tag) {
        for (const Layout::CommandButton& b : Layout::commandButtons())
            if (b.tag == tag) click(CPoint(b.position.x + 30, b.position.y + 15));
    }
    // Presses a file command and lets its dialog (and any message) finish.
    std::vector<std::string> runFileCommand(long tag, const std::string& chosen) {
        if (chosen.empty()) cancelNextDialog();
        else answer(chosen);
        const size_t before = dialogs().size();
        press(tag);
        idleUntilDialogs(before + 1);
        return dialogs()[before];
    }
    std::vector<std::string> messagesSince(size_t before) {
        std::vector<std::string> texts;
        auto runs = dialogs();
        for (size_t i = before; i < runs.size(); ++i)
            for (const std::string& a : runs[i])
                if (a.starts_with("--text=")) texts.push_back(a.substr(7));
        return texts;
    }

    std::string folder;
    std::string oldPath;
};

TEST_F(EditorCommands, SavingAddsTheDefaultExtensionUnlessItIsThereInAnyCase) {
    useStandInDialogs();
    std::vector<std::string> run = runFileCommand(Layout::kSaveProgram, folder + "/lead");
    EXPECT_TRUE(has(run, "--save"));
    EXPECT_TRUE(has(run, "--title=Save instrument"));
    EXPECT_TRUE(has(run, "--file-filter=VST Plugin Program (*.fxp) | *.fxp"));
    EXPECT_EQ(fs::file_size(folder + "/lead.fxp"), 1844u);
    EXPECT_FALSE(fs::exists(folder + "/lead"));

    runFileCommand(Layout::kSaveProgram, folder + "/lead.FXP");
    EXPECT_TRUE(fs::exists(folder + "/lead.FXP"));
    EXPECT_FALSE(fs::exists(folder + "/lead.FXP.fxp"));

    run = runFileCommand(Layout::kSaveBank, folder + "/set.fxp");
    EXPECT_TRUE(has(run, "--title=Save bank"));
    EXPECT_TRUE(has(run, "--file-filter=VST Plugin Bank (*.fxb) | *.fxb"));
    EXPECT_EQ(fs::file_size(folder + "/set.fxp.fxb"), 182656u);

    runFileCommand(Layout::kSaveBank, folder + "/b");  // shorter than the extension itself
    EXPECT_TRUE(fs::exists(folder + "/b.fxb"));
    EXPECT_EQ(dialogs().size(), 4u) << "no message box for a successful save";
}

TEST_F(EditorCommands, LoadingAProgramAndABankRestoresWhatWasSaved) {
    useStandInDialogs();
    plugin->setParameter(Vst::kLpfTune, 0.3125f);
    plugin->renameProgram("Saved Lead");
    renderAndIdle();
    runFileCommand(Layout::kSaveProgram, folder + "/p.fxp");
    runFileCommand(Layout::kSaveBank, folder + "/all.fxb");

    plugin->setParameter(Vst::kLpfTune, 0.875f);
    plugin->renameProgram("Changed");
    renderAndIdle();
    std::vector<std::string> run = runFileCommand(Layout::kLoadProgram, folder + "/p.fxp");
    EXPECT_FALSE(has(run, "--save"));
    EXPECT_TRUE(has(run, "--title=Load instrument"));
    renderAndIdle();
    EXPECT_EQ(plugin->getParameter(Vst::kLpfTune), 0.3125f);
    EXPECT_EQ(editor->getControl(Vst::kLpfTune)->getValue(), 0.3125f) << "the knob follows the loaded program";
    EXPECT_EQ(programName(*plugin, 0), "Saved Lead");
    EXPECT_STREQ(editor->getProgramBrowser()->getMenu()->getEntry(0), "Saved Lead");

    plugin->renameProgram("Changed again");
    run = runFileCommand(Layout::kLoadBank, folder + "/all.fxb");
    EXPECT_TRUE(has(run, "--title=Load bank"));
    EXPECT_TRUE(has(run, "--file-filter=VST Plugin Bank (*.fxb) | *.fxb"));
    EXPECT_EQ(programName(*plugin, 0), "Saved Lead");
}

TEST_F(EditorCommands, ACancelledDialogChangesNothingAndShowsNothing) {
    useStandInDialogs();
    const std::vector<unsigned char> before(plugin->getBank().data(), plugin->getBank().data() + plugin->getBank().size());
    for (long tag : {Layout::kLoadProgram, Layout::kLoadBank, Layout::kSaveProgram, Layout::kSaveBank})
        runFileCommand(tag, "");
    EXPECT_EQ(dialogs().size(), 4u) << "four dialogs, no message box";
    EXPECT_TRUE(std::equal(before.begin(), before.end(), plugin->getBank().data()));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2) << "only zenity and its log";
}

TEST_F(EditorCommands, ABuiltInDialogCancelledWithEscapeChangesNothing) {
    setDialogMode(CDialogMode::builtIn);
    press(Layout::kSaveProgram);
    auto* view = dynamic_cast<CBuiltInFileDialogView*>(editor->getFrame()->getModalView());
    ASSERT_NE(view, nullptr);
    window->injectText(folder + "/never");
    window->injectVirtualKey(kKeyEscape);
    idle();
    EXPECT_EQ(editor->getFrame()->getModalView(), nullptr) << "no message box either";
    EXPECT_FALSE(fs::exists(folder + "/never.fxp"));
}

TEST_F(EditorCommands, UnopenableFilesAndRefusedFilesAreReportedVerbatim) {
    useStandInDialogs();
    size_t before = dialogs().size();
    runFileCommand(Layout::kLoadProgram, folder + "/missing.fxp");
    idleUntilDialogs(before + 2);
    EXPECT_EQ(messagesSince(before), std::vector<std::string>{"Couldn't open file \"" + folder + "/missing.fxp\""});
    const std::vector<std::string> box = dialogs()[before + 1];
    EXPECT_TRUE(has(box, "--title=Morvelith VST Instrument"));
    EXPECT_TRUE(has(box, "--warning"));

    before = dialogs().size();
    runFileCommand(Layout::kSaveProgram, folder + "/no/such/dir/x");
    idleUntilDialogs(before + 2);
    EXPECT_EQ(messagesSince(before), std::vector<std::string>{"Couldn't open file \"" + folder + "/no/such/dir/x.fxp\""});

    std::ofstream(folder + "/short.fxp") << "CcnK";
    before = dialogs().size();
    runFileCommand(Layout::kLoadProgram, folder + "/short.fxp");
    idleUntilDialogs(before + 2);
    EXPECT_EQ(messagesSince(before), std::vector<std::string>{"An error occurred while reading the preset file."});

    std::ofstream(folder + "/other.fxb", std::ios::binary) << std::string(182656, 'x');
    before = dialogs().size();
    runFileCommand(Layout::kLoadBank, folder + "/other.fxb");
    idleUntilDialogs(before + 2);
    EXPECT_EQ(messagesSince(before),
              std::vector<std::string>{"The selected VST bank file contains errors or is incompatible with this version "
                                       "of Morvelith VST Instrument. All parameters remain unchanged."});
}

TEST_F(EditorCommands, CopyAndPasteCarryTheWholeProgramAndReselectIt) {
    plugin->setParameter(Vst::kHpfRes, 0.4375f);
    plugin->renameProgram("Source");
    renderAndIdle();
    press(Layout::kCopyProgram);
    plugin->setProgram(2);
    renderAndIdle();
    ASSERT_NE(editor->getControl(Vst::kHpfRes)->getValue(), 0.4375f);
    const int refreshes = RecordingHost::instance().displayRefreshes;
    press(Layout::kPasteProgram);
    EXPECT_EQ(programName(*plugin, 2), "Source");
    EXPECT_EQ(plugin->getProgramValue(2, Vst::kHpfRes), 0.4375f);
    EXPECT_EQ(plugin->getProgram(), 2);
    EXPECT_GT(RecordingHost::instance().displayRefreshes, refreshes);
    EXPECT_EQ(editor->getControl(Vst::kHpfRes)->getValue(), 0.4375f);
    EXPECT_STREQ(editor->getProgramBrowser()->getMenu()->getEntry(2), "Source");
}

TEST_F(EditorCommands, InitializeResetsTheCurrentProgramAndTheKnobsFollow) {
    plugin->setProgram(3);
    plugin->setParameter(Vst::kLpfTune, 0.125f);
    plugin->setParameter(Vst::kLfoSyncEnable, 1.0f - Vst::parameterInfo(Vst::kLfoSyncEnable).defaultValue);
    renderAndIdle();
    ASSERT_EQ(editor->getControl(Vst::kLpfTune)->getValue(), 0.125f);
    press(Layout::kInitializeProgram);
    EXPECT_EQ(programName(*plugin, 3), "Init 3");
    for (int i = 0; i < 181; ++i) {
        EXPECT_EQ(plugin->getParameter(i), Vst::parameterInfo(i).defaultValue) << i;
        if (CControl* control = editor->getControl(i)) {
            EXPECT_EQ(control->getValue(), Vst::parameterInfo(i).defaultValue) << i;
        }
    }
    EXPECT_EQ(editor->getControl(Vst::kLfoRate)->isVisible(), Vst::parameterInfo(Vst::kLfoSyncEnable).defaultValue != 1.0f);
}

TEST_F(EditorCommands, RenameOpensTheFieldOnceAndReturnCommitsTheName) {
    CTextEdit* field = editor->getProgramNameField();
    CProgramBrowser* browser = editor->getProgramBrowser();
    plugin->renameProgram("Bass");
    idle();
    press(Layout::kRenameProgram);
    EXPECT_TRUE(field->isVisible());
    EXPECT_FALSE(browser->isVisible());
    EXPECT_TRUE(field->isEditing());
    EXPECT_STREQ(field->getText(), "Bass");
    window->injectText(" 2");
    idle();
    // A click anywhere else ends the editing first, so the second press
    // comes as the button's report while the field is still open.
    CControl* renameButton = nullptr;
    for (int i = 0; i < editor->getCommandPanel()->getNbViews(); ++i)
        if (auto* b = dynamic_cast<CControl*>(editor->getCommandPanel()->getView(i)); b && b->getTag() == Layout::kRenameProgram)
            renameButton = b;
    ASSERT_NE(renameButton, nullptr);
    renameButton->setValue(1.0f);
    editor->valueChanged(renameButton);
    idle();
    EXPECT_STREQ(field->getText(), "Bass 2");
    EXPECT_TRUE(field->isEditing());
    EXPECT_EQ(programName(*plugin, 0), "Bass") << "nothing stored before Return";

    window->injectVirtualKey(kKeyReturn);
    idle();
    EXPECT_EQ(programName(*plugin, 0), "Bass 2");
    EXPECT_FALSE(field->isVisible());
    EXPECT_TRUE(browser->isVisible());
    EXPECT_STREQ(browser->getMenu()->getEntry(0), "Bass 2");

    press(Layout::kRenameProgram);  // and once closed it opens again
    EXPECT_TRUE(field->isEditing());
    window->injectText("X");
    window->injectVirtualKey(kKeyEscape);
    idle();
    EXPECT_EQ(programName(*plugin, 0), "Bass 2") << "Escape renames nothing";
    EXPECT_TRUE(browser->isVisible());
}

TEST_F(EditorCommands, ClosingTheWindowWhileRenamingKeepsTheTypedName) {
    plugin->renameProgram("Warm");
    idle();
    press(Layout::kRenameProgram);
    ASSERT_TRUE(editor->getProgramNameField()->isEditing());
    window->injectText("Pad");
    idle();
    plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(programName(*plugin, 0), "WarmPad");
    ASSERT_EQ(plugin->dispatcher(effEditOpen, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(editor->getProgramBrowser()->isVisible());
    EXPECT_FALSE(editor->getProgramNameField()->isVisible());
}
