// The dialog seams: a file dialog and a message box that start without
// blocking and are polled from the frame's idle until done. The built-in
// implementations draw inside the frame; each platform adds its desktop ones
// (createDesktopFileDialog / createDesktopMessageBox, defined once per platform).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gui/CDialogs.h"

struct FileDialogRequest {
  bool save = false;
  std::string title;
  std::vector<CFileExtension> filters;
  std::string initialDirectory;
  std::string defaultName;
};

class FileDialogBackend {
 public:
  enum class State { running, done };
  virtual ~FileDialogBackend() = default;
  // False when the dialog could not be shown.
  virtual bool start(const FileDialogRequest& request) = 0;
  // When done, paths holds the chosen files (empty when cancelled).
  virtual State poll(std::vector<std::string>& paths) = 0;
  // Closes the dialog if it is still open.
  virtual void cancel() = 0;
};

struct MessageBoxRequest {
  std::string caption;
  std::string text;
};

class MessageBoxBackend {
 public:
  virtual ~MessageBoxBackend() = default;
  virtual bool start(const MessageBoxRequest& request) = 0;
  // True once the user has closed the box.
  virtual bool poll() = 0;
  virtual void cancel() = 0;
};

// Null when this platform has no desktop dialog available.
std::unique_ptr<FileDialogBackend> createDesktopFileDialog();
std::unique_ptr<MessageBoxBackend> createDesktopMessageBox();
