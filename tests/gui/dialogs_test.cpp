// The file selector and the message box: the built-in dialogs driven by
// injected events on an offscreen frame, and the desktop dialogs run as a
// subprocess (a stand-in "zenity" or "kdialog" script on PATH records its
// arguments and answers). Neither kind blocks the caller.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "gui/BuiltInDialogs.h"
#include "tests/gui/GuiTestSupport.h"

using namespace GuiTest;

namespace {
class Dialogs : public HeadlessFrame {
 protected:
  void SetUp() override {
    HeadlessFrame::SetUp();
    open(CRect(0, 0, 600, 400));
  }
  CNewFileSelector* runSelector(CNewFileSelector::Style style, const char* title, const CFileExtension& type,
                                const char* directory = "", const char* name = "") {
    CNewFileSelector* selector = CNewFileSelector::create(frame, style);
    selector->setTitle(title);
    selector->addFileExtension(type);
    selector->setInitialDirectory(directory);
    selector->setDefaultSaveName(name);
    selector->setTag(5002);
    EXPECT_TRUE(selector->run(&receiver));
    return selector;
  }
  CBuiltInFileDialogView* builtInView() { return dynamic_cast<CBuiltInFileDialogView*>(frame->getModalView()); }

  RecordingReceiver receiver;
  std::vector<std::string> chosen;
  long chosenTag = -1;
  void captureResult() {
    receiver.onNotify = [this](CBaseObject* sender, const char* message) {
      if (std::string(message) != CNewFileSelector::kSelectEndMessage) return;
      auto* selector = dynamic_cast<CNewFileSelector*>(sender);
      ASSERT_NE(selector, nullptr);
      chosenTag = selector->getTag();
      for (int i = 0; i < selector->getNumSelectedFiles(); ++i) chosen.emplace_back(selector->getSelectedFile(i));
    };
  }
};
}  // namespace

TEST_F(Dialogs, BuiltInFileDialogReturnsTheTypedPath) {
  setDialogMode(CDialogMode::builtIn);
  captureResult();
  CNewFileSelector* selector =
      runSelector(CNewFileSelector::kSelectSaveFile, "Save instrument", {"VST Plugin Program", "fxp"}, "/tmp/presets");
  selector->forget();  // the running dialog keeps it
  pump();
  CBuiltInFileDialogView* view = builtInView();
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(receiver.messages.empty()) << "run returns before the dialog ends";
  EXPECT_STREQ(view->getPathField()->getText(), "/tmp/presets/");
  EXPECT_EQ(frame->getFocusView(), view->getPathField()) << "the path field has the focus";
  window->injectText("lead");
  pump();
  CRect ok = view->getOkButton()->getViewSize();
  click(CPoint(ok.left + 5, ok.top + 5));
  ASSERT_EQ(receiver.messages.size(), 1u);
  EXPECT_EQ(receiver.messages[0], CNewFileSelector::kSelectEndMessage);
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0], "/tmp/presets/lead");
  EXPECT_EQ(chosenTag, 5002);
  EXPECT_EQ(frame->getModalView(), nullptr);
}

TEST_F(Dialogs, BuiltInFileDialogAcceptsReturnAndCancelsWithEscapeOrCancel) {
  setDialogMode(CDialogMode::builtIn);
  captureResult();
  runSelector(CNewFileSelector::kSelectFile, "Load bank", {"VST Plugin Bank", "fxb"}, "/data", "set.fxb")->forget();
  pump();
  window->injectVirtualKey(kKeyReturn);
  pump();
  ASSERT_EQ(chosen, std::vector<std::string>{"/data/set.fxb"});

  chosen.clear();
  runSelector(CNewFileSelector::kSelectFile, "Load bank", {"VST Plugin Bank", "fxb"}, "/data")->forget();
  pump();
  window->injectText("x");
  window->injectVirtualKey(kKeyEscape);
  pump();
  EXPECT_EQ(receiver.messages.size(), 2u) << "a cancelled dialog still ends with the message";
  EXPECT_TRUE(chosen.empty()) << "and no file";

  runSelector(CNewFileSelector::kSelectFile, "Load bank", {"VST Plugin Bank", "fxb"}, "/data")->forget();
  pump();
  CRect cancel = builtInView()->getCancelButton()->getViewSize();
  click(CPoint(cancel.left + 5, cancel.top + 5));
  EXPECT_EQ(receiver.messages.size(), 3u);
  EXPECT_TRUE(chosen.empty());
  EXPECT_EQ(frame->getModalView(), nullptr);
}

TEST_F(Dialogs, BuiltInFileDialogBlocksTheEditorBeneath) {
  setDialogMode(CDialogMode::builtIn);
  RecordingListener listener;
  frame->addView(new COnOffButton(CRect(0, 0, 40, 20), &listener, 1, nullptr));
  runSelector(CNewFileSelector::kSelectFile, "Load instrument", {"VST Plugin Program", "fxp"})->forget();
  pump();
  click(CPoint(10, 10));
  EXPECT_TRUE(listener.reports.empty());
  // Drawn over a dimmed editor: the panel colour in the middle of the frame.
  EXPECT_EQ(window->pixel(300, 160), (CColor{52, 58, 68, 255}));
  EXPECT_TRUE(window->writePng(::testing::TempDir() + "gui_file_dialog.png"));
}

TEST_F(Dialogs, ClosingTheFrameEndsARunningDialogQuietly) {
  setDialogMode(CDialogMode::builtIn);
  runSelector(CNewFileSelector::kSelectFile, "Load instrument", {"VST Plugin Program", "fxp"})->forget();
  pump();
  frame->forget();
  frame = nullptr;
  EXPECT_TRUE(receiver.messages.empty());
}

struct PathCase {
  const char* typed;
  const char* directory;
  std::string expected;
};

class ResolvePath : public ::testing::TestWithParam<PathCase> {};

TEST_P(ResolvePath, TypedPathsBecomeAbsolute) {
  EXPECT_EQ(CBuiltInFileDialogView::resolvePath(GetParam().typed, GetParam().directory), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ResolvePath,
    ::testing::Values(PathCase{"/abs/a.fxp", "/dir", "/abs/a.fxp"}, PathCase{"a.fxp", "/dir", "/dir/a.fxp"},
                      PathCase{"a.fxp", "/dir/", "/dir/a.fxp"}, PathCase{"  sub/a.fxp ", "/dir", "/dir/sub/a.fxp"},
                      PathCase{"", "/dir", ""}, PathCase{"   ", "/dir", ""},
                      PathCase{"~/b.fxb", "/dir", std::string(std::getenv("HOME") ? std::getenv("HOME") : "/") +
                                                      "/b.fxb"}));

TEST_F(Dialogs, BuiltInMessageBoxShowsSignTextAndClosesWithOk) {
  setDialogMode(CDialogMode::builtIn);
  CMessageBox* box = CMessageBox::show(frame, "Morvelith VST Instrument", "Couldn't open file \"/x\"", &receiver);
  ASSERT_NE(box, nullptr);
  EXPECT_FALSE(box->usesDesktopDialog());
  pump();
  auto* view = dynamic_cast<CBuiltInMessageBoxView*>(frame->getModalView());
  ASSERT_NE(view, nullptr);
  const CRect& sign = view->getSignRect();
  EXPECT_EQ(window->pixel((sign.left + sign.right) / 2, sign.bottom - 3), (CColor{250, 200, 30, 255}))
      << "the exclamation sign is drawn";
  ASSERT_TRUE(window->writePng(::testing::TempDir() + "gui_message_box.png"));
  CRect ok = view->getOkButton()->getViewSize();
  click(CPoint(ok.left + 5, ok.top + 5));
  ASSERT_EQ(receiver.messages.size(), 1u);
  EXPECT_EQ(receiver.messages[0], CMessageBox::kClosedMessage);
  EXPECT_EQ(frame->getModalView(), nullptr);

  CMessageBox::show(frame, "Caption", "Text", &receiver);
  pump();
  window->injectVirtualKey(kKeyReturn);
  pump();
  EXPECT_EQ(receiver.messages.size(), 2u);
}

TEST_F(Dialogs, MessageBoxNeedsAFrame) { EXPECT_EQ(CMessageBox::show(nullptr, "C", "T"), nullptr); }

// A stand-in dialog program in a folder put first on PATH.
class DesktopDialogs : public Dialogs {
 protected:
  void SetUp() override {
    Dialogs::SetUp();
    char pattern[] = "/tmp/gui_dialogs_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    // Only the stand-in folder and the shell's: no real dialog program is found.
    setenv("PATH", (folder + ":/bin:/usr/bin").c_str(), 1);
    setDialogMode(CDialogMode::desktop);
  }
  void TearDown() override {
    setenv("PATH", oldPath.c_str(), 1);
    std::system(("rm -rf " + folder).c_str());
    Dialogs::TearDown();
  }
  // The script writes each argument on a line of args.txt, waits, prints
  // `answer` and exits with `status`.
  void install(const char* program, const std::string& answer, int status) {
    std::string path = folder + "/" + program;
    std::ofstream script(path);
    script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << folder << "/args.txt'\n"
           << "sleep 0.2\n";
    if (!answer.empty()) script << "printf '%s\\n' '" << answer << "'\n";
    script << "exit " << status << "\n";
    script.close();
    chmod(path.c_str(), 0755);
  }
  std::vector<std::string> arguments() {
    std::ifstream in(folder + "/args.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  // Idles like a host until the receiver has heard something (5 s at most).
  void idleUntilNotified(std::size_t count) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (receiver.messages.size() < count && std::chrono::steady_clock::now() < limit) {
      frame->idle();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  std::string folder;
  std::string oldPath;
};

TEST_F(DesktopDialogs, ZenitySaveDialogRunsWithoutBlocking) {
  install("zenity", "/home/u/lead.fxb", 0);
  captureResult();
  CNewFileSelector* selector =
      runSelector(CNewFileSelector::kSelectSaveFile, "Save bank", {"VST Plugin Bank", "fxb"}, "/home/u", "Bank");
  EXPECT_TRUE(selector->usesDesktopDialog());
  EXPECT_TRUE(selector->isRunning()) << "the subprocess is still waiting when run returns";
  selector->forget();
  frame->idle();
  EXPECT_TRUE(receiver.messages.empty());
  EXPECT_EQ(frame->getModalView(), nullptr) << "no built-in dialog alongside";
  idleUntilNotified(1);
  ASSERT_EQ(chosen, std::vector<std::string>{"/home/u/lead.fxb"});
  std::vector<std::string> args = arguments();
  EXPECT_TRUE(contains(args, "--file-selection"));
  EXPECT_TRUE(contains(args, "--save"));
  EXPECT_TRUE(contains(args, "--title=Save bank"));
  EXPECT_TRUE(contains(args, "--filename=/home/u/Bank"));
  EXPECT_TRUE(contains(args, "--file-filter=VST Plugin Bank (*.fxb) | *.fxb"));
}

TEST_F(DesktopDialogs, CancelledZenityDialogSelectsNothing) {
  install("zenity", "", 1);
  captureResult();
  runSelector(CNewFileSelector::kSelectFile, "Load instrument", {"VST Plugin Program", "fxp"})->forget();
  idleUntilNotified(1);
  ASSERT_EQ(receiver.messages.size(), 1u);
  EXPECT_TRUE(chosen.empty());
  EXPECT_FALSE(contains(arguments(), "--save"));
}

TEST_F(DesktopDialogs, KdialogIsUsedWhenZenityIsMissing) {
  install("kdialog", "/tmp/a.fxp", 0);
  captureResult();
  runSelector(CNewFileSelector::kSelectFile, "Load instrument", {"VST Plugin Program", "fxp"}, "/tmp")->forget();
  idleUntilNotified(1);
  ASSERT_EQ(chosen, std::vector<std::string>{"/tmp/a.fxp"});
  std::vector<std::string> args = arguments();
  EXPECT_TRUE(contains(args, "--getopenfilename"));
  EXPECT_TRUE(contains(args, "Load instrument"));
  EXPECT_TRUE(contains(args, "VST Plugin Program (*.fxp)"));
}

TEST_F(DesktopDialogs, WithoutAnyDesktopDialogTheBuiltInOneIsUsed) {
  CNewFileSelector* selector =
      runSelector(CNewFileSelector::kSelectFile, "Load instrument", {"VST Plugin Program", "fxp"});
  EXPECT_FALSE(selector->usesDesktopDialog());
  selector->forget();
  pump();
  EXPECT_NE(builtInView(), nullptr);
}

TEST_F(DesktopDialogs, ZenityMessageBoxShowsTheTextVerbatim) {
  install("zenity", "", 0);
  const char* text = "Couldn't open file \"/a <b>.fxp\"";
  CMessageBox* box = CMessageBox::show(frame, "Morvelith VST Instrument", text, &receiver);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->usesDesktopDialog());
  idleUntilNotified(1);
  ASSERT_EQ(receiver.messages.size(), 1u);
  std::vector<std::string> args = arguments();
  EXPECT_TRUE(contains(args, "--warning"));
  EXPECT_TRUE(contains(args, "--no-markup"));
  EXPECT_TRUE(contains(args, "--title=Morvelith VST Instrument"));
  EXPECT_TRUE(contains(args, std::string("--text=") + text));
}

TEST_F(DesktopDialogs, ADialogThatIgnoresTerminationIsKilled) {
  std::string path = folder + "/zenity";
  std::ofstream script(path);
  script << "#!/bin/sh\ntrap '' TERM\ntouch '" << folder << "/started'\nwhile :; do sleep 0.05; done\n";
  script.close();
  chmod(path.c_str(), 0755);
  runSelector(CNewFileSelector::kSelectFile, "Load instrument", {"VST Plugin Program", "fxp"})->forget();
  struct stat info;
  for (int i = 0; i < 200 && stat((folder + "/started").c_str(), &info) != 0; ++i) {
    frame->idle();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(stat((folder + "/started").c_str(), &info), 0) << "the stand-in dialog is running";
  auto start = std::chrono::steady_clock::now();
  frame->forget();
  frame = nullptr;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "closing did not hang";
}

TEST_F(DesktopDialogs, ClosingTheFrameEndsTheSubprocess) {
  install("zenity", "/x", 0);
  runSelector(CNewFileSelector::kSelectFile, "Load instrument", {"VST Plugin Program", "fxp"})->forget();
  frame->forget();
  frame = nullptr;
  EXPECT_TRUE(receiver.messages.empty());
}
