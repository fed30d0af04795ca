// The message box: a caption, an exclamation sign, a text and one OK button.
// show returns at once; the box (a desktop dialog subprocess, or a dialog
// drawn inside the frame) is polled at the frame's idle and releases itself
// when closed, telling the optional receiver with kClosedMessage.
#pragma once

#include <memory>
#include <string>

#include "gui/CFrame.h"

class MessageBoxBackend;

class CMessageBox : public CBaseObject, public CIdleClient {
 public:
  static constexpr const char* kClosedMessage = "CMessageBox Closed Message";

  // Null when there is no frame to attach the box to. The pointer stays
  // valid until the box closes; remember() it to keep it longer.
  static CMessageBox* show(CFrame* frame, const char* caption, const char* text, CBaseObject* receiver = nullptr);

  const std::string& getCaption() const { return caption_; }
  const std::string& getText() const { return text_; }
  bool isOpen() const { return open_; }
  bool usesDesktopDialog() const { return desktop_; }
  MessageBoxBackend* getBackend() const { return backend_.get(); }
  void close();

  void onIdle(CFrame* frame) override;
  void onFrameClosing(CFrame* frame) override;

 private:
  CMessageBox(CFrame* frame, const char* caption, const char* text, CBaseObject* receiver);
  ~CMessageBox() override;
  bool start();
  void finish(bool tell);

  CFrame* frame_;
  std::string caption_;
  std::string text_;
  CBaseObject* receiver_;
  std::unique_ptr<MessageBoxBackend> backend_;
  bool open_ = false;
  bool desktop_ = false;
};
