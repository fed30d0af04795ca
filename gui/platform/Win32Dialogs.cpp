// Desktop dialogs on Windows: the common Open/Save dialogs and the message
// box (exclamation icon, one OK button, no owner window). Each runs modally
// on a thread of its own so that the host's GUI thread never waits in the
// frame's idle, which polls for the result; cancelling closes the dialog.
#include <windows.h>
#include <commdlg.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "gui/platform/DialogBackends.h"

namespace {
// Runs one modal dialog on its own thread and can close it from outside.
class DialogThread {
 public:
  ~DialogThread() { stop(); }

  template <class Run>
  bool start(Run run) {
    done_ = false;
    try {
      thread_ = std::thread([this, run] {
        threadId_ = GetCurrentThreadId();
        run();
        done_ = true;
      });
    } catch (...) {
      return false;
    }
    return true;
  }

  bool isDone() const { return done_; }

  // Closes the dialog's windows until the thread ends (the dialog may still be
  // opening), then joins it.
  void stop() {
    if (!thread_.joinable()) return;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done_ && std::chrono::steady_clock::now() < limit) {
      if (threadId_ != 0) EnumThreadWindows(threadId_, closeWindow, 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (done_)
      thread_.join();
    else
      thread_.detach();  // never seen to happen; better than hanging the host
  }

 private:
  static BOOL CALLBACK closeWindow(HWND window, LPARAM) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
  }

  std::thread thread_;
  std::atomic<DWORD> threadId_{0};
  std::atomic<bool> done_{false};
};

class CommonFileDialog : public FileDialogBackend {
 public:
  bool start(const FileDialogRequest& request) override {
    request_ = request;
    return thread_.start([this] { run(); });
  }

  State poll(std::vector<std::string>& paths) override {
    if (!thread_.isDone()) return State::running;
    thread_.stop();
    paths.clear();
    if (!chosen_.empty()) paths.push_back(chosen_);
    return State::done;
  }

  void cancel() override { thread_.stop(); }

 private:
  // Dialog thread.
  void run() {
    // "Description (*.ext)", "*.ext" pairs, each ended by a zero, the list by another.
    std::string filters;
    for (const CFileExtension& filter : request_.filters) {
      filters += filter.description + " (*." + filter.extension + ")";
      filters.push_back('\0');
      filters += "*." + filter.extension;
      filters.push_back('\0');
    }
    filters.push_back('\0');
    std::string defaultExtension = request_.filters.empty() ? std::string() : request_.filters.front().extension;

    char path[MAX_PATH] = {};
    request_.defaultName.copy(path, MAX_PATH - 1);
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = nullptr;
    ofn.lpstrFilter = request_.filters.empty() ? nullptr : filters.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = request_.initialDirectory.empty() ? nullptr : request_.initialDirectory.c_str();
    ofn.lpstrTitle = request_.title.c_str();
    ofn.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
    // NOCHANGEDIR: the host's working directory is not ours to move.
    ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    BOOL ok = FALSE;
    if (request_.save) {
      ofn.Flags |= OFN_OVERWRITEPROMPT;
      ok = GetSaveFileNameA(&ofn);
    } else {
      ofn.Flags |= OFN_FILEMUSTEXIST;
      ok = GetOpenFileNameA(&ofn);
    }
    if (ok) chosen_ = path;
  }

  FileDialogRequest request_;
  std::string chosen_;
  DialogThread thread_;
};

class WindowsMessageBox : public MessageBoxBackend {
 public:
  bool start(const MessageBoxRequest& request) override {
    request_ = request;
    return thread_.start([this] {
      MessageBoxA(nullptr, request_.text.c_str(), request_.caption.c_str(),
                  MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL | MB_SETFOREGROUND);
    });
  }

  bool poll() override {
    if (!thread_.isDone()) return false;
    thread_.stop();
    return true;
  }

  void cancel() override { thread_.stop(); }

 private:
  MessageBoxRequest request_;
  DialogThread thread_;
};
}  // namespace

std::unique_ptr<FileDialogBackend> createDesktopFileDialog() { return std::make_unique<CommonFileDialog>(); }
std::unique_ptr<MessageBoxBackend> createDesktopMessageBox() { return std::make_unique<WindowsMessageBox>(); }
