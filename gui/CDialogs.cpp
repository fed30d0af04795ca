// File selector, message box and the choice between desktop and built-in
// dialogs (see CDialogs.h, CFileSelector.h, CMessageBox.h).
#include "gui/BuiltInDialogs.h"
#include "gui/CFileSelector.h"
#include "gui/CMessageBox.h"

namespace {
CDialogMode dialogMode = CDialogMode::automatic;

// Desktop dialogs need a display; an offscreen frame has no native window.
bool wantsDesktop(CFrame* frame) {
  if (dialogMode == CDialogMode::builtIn) return false;
  if (dialogMode == CDialogMode::desktop) return true;
  PlatformWindow* window = frame ? frame->getPlatformWindow() : nullptr;
  return window && window->getNativeHandle() != 0;
}

// The desktop dialog where one is wanted and it starts, else the built-in one
// in the frame; null when neither starts. `desktop` says which one it is.
template <class BuiltIn, class Backend, class Request>
std::unique_ptr<Backend> startDialog(CFrame* frame, const Request& request,
                                     std::unique_ptr<Backend> (*createDesktop)(), bool& desktop) {
  desktop = false;
  if (wantsDesktop(frame)) {
    std::unique_ptr<Backend> backend = createDesktop();
    if (backend && backend->start(request)) {
      desktop = true;
      return backend;
    }
  }
  // No desktop dialog installed (or it would not start): ours, in the frame.
  std::unique_ptr<Backend> builtIn = std::make_unique<BuiltIn>(frame);
  if (!builtIn->start(request)) return nullptr;
  return builtIn;
}
}  // namespace

void setDialogMode(CDialogMode mode) { dialogMode = mode; }
CDialogMode getDialogMode() { return dialogMode; }

CNewFileSelector* CNewFileSelector::create(CFrame* frame, Style style) { return new CNewFileSelector(frame, style); }

CNewFileSelector::CNewFileSelector(CFrame* frame, Style style) : frame_(frame), style_(style) {}

CNewFileSelector::~CNewFileSelector() {
  if (frame_) frame_->removeIdleClient(this);
}

const char* CNewFileSelector::getSelectedFile(int index) const {
  return index >= 0 && index < getNumSelectedFiles() ? selected_[index].c_str() : nullptr;
}

bool CNewFileSelector::run(CBaseObject* receiver) {
  if (running_ || !frame_) return false;
  FileDialogRequest request;
  request.save = style_ == kSelectSaveFile;
  request.title = title_;
  request.filters = extensions_;
  request.initialDirectory = initialDirectory_;
  request.defaultName = defaultSaveName_;
  selected_.clear();
  backend_.reset();  // the last dialog goes before the next one starts
  backend_ = startDialog<BuiltInFileDialog>(frame_, request, &createDesktopFileDialog, desktop_);
  if (!backend_) return false;
  receiver_ = receiver;
  running_ = true;
  remember();  // released in finish
  frame_->addIdleClient(this);
  return true;
}

void CNewFileSelector::onIdle(CFrame* frame) {
  if (!running_ || !backend_) return;
  std::vector<std::string> paths;
  if (backend_->poll(paths) == FileDialogBackend::State::running) return;
  selected_ = paths;
  finish();
}

void CNewFileSelector::cancel() {
  if (!running_) return;
  if (backend_) backend_->cancel();
  selected_.clear();
  finish();
}

void CNewFileSelector::finish() {
  running_ = false;
  if (frame_) frame_->removeIdleClient(this);
  CBaseObject* receiver = receiver_;
  receiver_ = nullptr;
  if (receiver) receiver->notify(this, kSelectEndMessage);
  forget();
}

void CNewFileSelector::onFrameClosing(CFrame* frame) {
  // The receiver is going with the frame: end quietly.
  receiver_ = nullptr;
  if (backend_) backend_->cancel();
  backend_.reset();
  bool wasRunning = running_;
  running_ = false;
  frame_ = nullptr;
  if (wasRunning) forget();
}

CMessageBox::CMessageBox(CFrame* frame, const char* caption, const char* text, CBaseObject* receiver)
    : frame_(frame), caption_(caption ? caption : ""), text_(text ? text : ""), receiver_(receiver) {}

CMessageBox::~CMessageBox() {
  if (frame_) frame_->removeIdleClient(this);
}

CMessageBox* CMessageBox::show(CFrame* frame, const char* caption, const char* text, CBaseObject* receiver) {
  if (!frame) return nullptr;
  auto* box = new CMessageBox(frame, caption, text, receiver);
  if (!box->start()) {
    box->forget();
    return nullptr;
  }
  return box;
}

bool CMessageBox::start() {
  MessageBoxRequest request{caption_, text_};
  backend_ = startDialog<BuiltInMessageBox>(frame_, request, &createDesktopMessageBox, desktop_);
  if (!backend_) return false;
  open_ = true;
  frame_->addIdleClient(this);
  return true;
}

void CMessageBox::onIdle(CFrame* frame) {
  if (open_ && backend_ && backend_->poll()) finish(true);
}

void CMessageBox::close() {
  if (!open_) return;
  if (backend_) backend_->cancel();
  finish(true);
}

void CMessageBox::finish(bool tell) {
  open_ = false;
  if (frame_) frame_->removeIdleClient(this);
  CBaseObject* receiver = receiver_;
  receiver_ = nullptr;
  if (tell && receiver) receiver->notify(this, kClosedMessage);
  forget();
}

void CMessageBox::onFrameClosing(CFrame* frame) {
  if (backend_) backend_->cancel();
  backend_.reset();
  frame_ = nullptr;
  if (open_) finish(false);
}
