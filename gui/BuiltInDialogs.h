// The toolkit's own dialogs, drawn inside the frame as modal views over a
// dimmed editor: a file dialog (title, the offered file types, a path field,
// OK and Cancel) and a message box (caption, exclamation sign, text, OK).
// Used where no desktop dialog is installed; neither blocks the host.
#pragma once

#include <functional>
#include <string>

#include "gui/CButtons.h"
#include "gui/CTextEdit.h"
#include "gui/CViewContainer.h"
#include "gui/platform/DialogBackends.h"

// Common panel: a dimming layer over the whole frame and a captioned box.
class CDialogPanelView : public CViewContainer, public CControlListener {
 public:
  CDialogPanelView(const CRect& frameRect, const CRect& panel, const std::string& caption);
  void drawRect(CDrawContext* context, const CRect& updateRect) override;
  void draw(CDrawContext* context) override { drawRect(context, size_); }
  const CRect& getPanelRect() const { return panel_; }

 protected:
  CRect panel_;
  std::string caption_;
};

class CBuiltInFileDialogView : public CDialogPanelView {
 public:
  using Done = std::function<void(bool accepted, const std::string& path)>;
  CBuiltInFileDialogView(const CRect& frameRect, const FileDialogRequest& request, Done done);

  CTextEdit* getPathField() const { return field_; }
  CTextButton* getOkButton() const { return ok_; }
  CTextButton* getCancelButton() const { return cancel_; }
  // Stops reporting (the owner has gone).
  void detach() { done_ = nullptr; }
  void finish(bool accepted);

  void drawRect(CDrawContext* context, const CRect& updateRect) override;
  void valueChanged(CControl* control) override;
  CMessageResult notify(CBaseObject* sender, const char* message) override;
  long onKeyDown(const CKeyCode& key) override;

  // The chosen path: "~/" is the home folder, a relative path is taken from
  // the initial directory (or the home folder); empty stays empty.
  static std::string resolvePath(const std::string& text, const std::string& initialDirectory);

 private:
  FileDialogRequest request_;
  Done done_;
  CTextEdit* field_;
  CTextButton* ok_;
  CTextButton* cancel_;
  CRect typesLine_;
};

class CBuiltInMessageBoxView : public CDialogPanelView {
 public:
  CBuiltInMessageBoxView(const CRect& frameRect, const MessageBoxRequest& request, std::function<void()> done);

  CTextButton* getOkButton() const { return ok_; }
  const CRect& getSignRect() const { return sign_; }
  void detach() { done_ = nullptr; }
  void finish();

  void drawRect(CDrawContext* context, const CRect& updateRect) override;
  void valueChanged(CControl* control) override;
  long onKeyDown(const CKeyCode& key) override;

 private:
  std::string text_;
  std::function<void()> done_;
  CTextButton* ok_;
  CRect sign_;
  CRect textRect_;
};

class CFrame;

class BuiltInFileDialog : public FileDialogBackend {
 public:
  explicit BuiltInFileDialog(CFrame* frame) : frame_(frame) {}
  ~BuiltInFileDialog() override { cancel(); }
  bool start(const FileDialogRequest& request) override;
  State poll(std::vector<std::string>& paths) override;
  void cancel() override;
  CBuiltInFileDialogView* getView() const { return view_; }

 private:
  CFrame* frame_;
  CBuiltInFileDialogView* view_ = nullptr;
  bool done_ = false;
  std::vector<std::string> paths_;
};

class BuiltInMessageBox : public MessageBoxBackend {
 public:
  explicit BuiltInMessageBox(CFrame* frame) : frame_(frame) {}
  ~BuiltInMessageBox() override { cancel(); }
  bool start(const MessageBoxRequest& request) override;
  bool poll() override { return done_; }
  void cancel() override;
  CBuiltInMessageBoxView* getView() const { return view_; }

 private:
  CFrame* frame_;
  CBuiltInMessageBoxView* view_ = nullptr;
  bool done_ = false;
};
