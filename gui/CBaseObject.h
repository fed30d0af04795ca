// Reference-counted base of every toolkit object, with the notification entry
// through which views, dialogs and frames pass named messages to a receiver.
// A new object holds one reference; forget() releases it and deletes the
// object at zero. Used on the host's GUI thread only.
#pragma once

enum CMessageResult { kMessageUnknown = 0, kMessageNotified = 1 };

class CBaseObject {
 public:
  CBaseObject() = default;
  CBaseObject(const CBaseObject&) = delete;
  CBaseObject& operator=(const CBaseObject&) = delete;
  virtual ~CBaseObject() = default;

  void remember() { ++references_; }
  void forget() {
    if (--references_ == 0) delete this;
  }
  int getNbReference() const { return references_; }

  virtual CMessageResult notify(CBaseObject* sender, const char* message) { return kMessageUnknown; }

 private:
  int references_ = 1;
};

// Holds one reference for the lifetime of a scope, so an object that is
// released from inside one of its own callbacks survives until the call returns.
class CScopedReference {
 public:
  explicit CScopedReference(CBaseObject* object) : object_(object) {
    if (object_) object_->remember();
  }
  ~CScopedReference() {
    if (object_) object_->forget();
  }
  CScopedReference(const CScopedReference&) = delete;
  CScopedReference& operator=(const CScopedReference&) = delete;

 private:
  CBaseObject* object_;
};

// Message texts the toolkit sends.
inline constexpr const char* kMsgLooseFocus = "LooseFocus";
