// The non-blocking file selector. Created on a frame, given a title and file
// types, run with a receiver: it returns at once, the dialog (desktop or
// built-in) is polled at the frame's idle, and when it ends the receiver gets
// kSelectEndMessage with the selector as sender; getSelectedFile(0) is then
// the chosen path, and no file at all means the dialog was cancelled.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gui/CDialogs.h"
#include "gui/CFrame.h"

class FileDialogBackend;

class CNewFileSelector : public CBaseObject, public CIdleClient {
 public:
  enum Style { kSelectFile, kSelectSaveFile };
  static constexpr const char* kSelectEndMessage = "CNewFileSelector Select End Message";

  static CNewFileSelector* create(CFrame* frame, Style style = kSelectFile);
  ~CNewFileSelector() override;

  void setTitle(const char* title) { title_ = title ? title : ""; }
  const std::string& getTitle() const { return title_; }
  void addFileExtension(const CFileExtension& extension) { extensions_.push_back(extension); }
  const std::vector<CFileExtension>& getFileExtensions() const { return extensions_; }
  void setDefaultSaveName(const char* name) { defaultSaveName_ = name ? name : ""; }
  void setInitialDirectory(const char* directory) { initialDirectory_ = directory ? directory : ""; }
  Style getStyle() const { return style_; }
  // A number the caller may keep with the selector (the command that opened it).
  void setTag(long tag) { tag_ = tag; }
  long getTag() const { return tag_; }

  // Starts the dialog and returns at once. The selector keeps itself alive
  // until it has notified the receiver, so the caller may forget it now.
  bool run(CBaseObject* receiver);
  // Ends a running dialog; the receiver is told with no file selected.
  void cancel();
  bool isRunning() const { return running_; }
  // Whether the dialog runs as a desktop subprocess (else built into the frame).
  bool usesDesktopDialog() const { return desktop_; }
  FileDialogBackend* getBackend() const { return backend_.get(); }

  int getNumSelectedFiles() const { return static_cast<int>(selected_.size()); }
  const char* getSelectedFile(int index) const;

  void onIdle(CFrame* frame) override;
  void onFrameClosing(CFrame* frame) override;

 private:
  CNewFileSelector(CFrame* frame, Style style);
  void finish();

  CFrame* frame_;
  Style style_;
  std::string title_;
  std::vector<CFileExtension> extensions_;
  std::string defaultSaveName_;
  std::string initialDirectory_;
  long tag_ = 0;
  CBaseObject* receiver_ = nullptr;
  std::unique_ptr<FileDialogBackend> backend_;
  std::vector<std::string> selected_;
  bool running_ = false;
  bool desktop_ = false;
};
