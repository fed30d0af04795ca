// Desktop dialogs on Linux: zenity, or else kdialog, run as a subprocess so
// no toolkit library is loaded into the host's process. The subprocess is
// polled from the frame's idle; cancelling or closing the frame ends it.
#include <cstdlib>
#include <memory>

#include "gui/platform/DialogBackends.h"
#include "gui/platform/PosixSubprocess.h"

namespace {
std::string findDialogProgram(bool* isZenity) {
  std::string program = PosixSubprocess::findInPath("zenity");
  *isZenity = !program.empty();
  if (program.empty()) program = PosixSubprocess::findInPath("kdialog");
  return program;
}

std::string startPath(const FileDialogRequest& request) {
  std::string directory = request.initialDirectory;
  if (!directory.empty() && directory.back() != '/') directory += '/';
  return directory + request.defaultName;
}

std::string filterLabel(const CFileExtension& filter) {
  return filter.description + " (*." + filter.extension + ")";
}

class DesktopFileDialog : public FileDialogBackend {
 public:
  DesktopFileDialog(std::string program, bool zenity) : program_(std::move(program)), zenity_(zenity) {}

  bool start(const FileDialogRequest& request) override {
    std::vector<std::string> argv{program_};
    std::string path = startPath(request);
    if (zenity_) {
      argv.push_back("--file-selection");
      if (request.save) argv.push_back("--save");
      argv.push_back("--title=" + request.title);
      if (!path.empty()) argv.push_back("--filename=" + path);
      for (const CFileExtension& filter : request.filters)
        argv.push_back("--file-filter=" + filterLabel(filter) + " | *." + filter.extension);
      if (!request.filters.empty()) argv.push_back("--file-filter=All files | *");
    } else {
      argv.push_back("--title");
      argv.push_back(request.title);
      argv.push_back(request.save ? "--getsavefilename" : "--getopenfilename");
      // Without a start path kdialog would open the host's working directory.
      const char* home = std::getenv("HOME");
      argv.push_back(!path.empty() ? path : (home && *home ? std::string(home) + "/" : std::string("/")));
      std::string filters;
      for (const CFileExtension& filter : request.filters) {
        if (!filters.empty()) filters += "\n";
        filters += filterLabel(filter);
      }
      if (!filters.empty()) argv.push_back(filters);
    }
    return process_.start(argv);
  }

  State poll(std::vector<std::string>& paths) override {
    if (!process_.poll()) return State::running;
    paths.clear();
    if (process_.exitCode() == 0) {
      // One path per line; the dialogs end it with a newline.
      std::string out = process_.output();
      std::size_t start = 0;
      while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        std::string line = out.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty()) paths.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
      }
    }
    return State::done;
  }

  void cancel() override { process_.terminate(); }

 private:
  std::string program_;
  bool zenity_;
  PosixSubprocess process_;
};

class DesktopMessageBox : public MessageBoxBackend {
 public:
  DesktopMessageBox(std::string program, bool zenity) : program_(std::move(program)), zenity_(zenity) {}

  bool start(const MessageBoxRequest& request) override {
    std::vector<std::string> argv{program_};
    if (zenity_) {
      // A warning box shows the exclamation sign; no markup keeps the text verbatim.
      argv.insert(argv.end(), {"--warning", "--no-markup", "--title=" + request.caption, "--text=" + request.text});
    } else {
      argv.insert(argv.end(), {"--title", request.caption, "--sorry", request.text});
    }
    return process_.start(argv);
  }

  bool poll() override { return process_.poll(); }
  void cancel() override { process_.terminate(); }

 private:
  std::string program_;
  bool zenity_;
  PosixSubprocess process_;
};
}  // namespace

std::unique_ptr<FileDialogBackend> createDesktopFileDialog() {
  bool zenity = false;
  std::string program = findDialogProgram(&zenity);
  if (program.empty()) return nullptr;
  return std::make_unique<DesktopFileDialog>(program, zenity);
}

std::unique_ptr<MessageBoxBackend> createDesktopMessageBox() {
  bool zenity = false;
  std::string program = findDialogProgram(&zenity);
  if (program.empty()) return nullptr;
  return std::make_unique<DesktopMessageBox>(program, zenity);
}
