// The object model the program's window is written against: objects,
// components that own the components created with them, and event handlers.

#pragma once

#include <functional>
#include <string>
#include <vector>

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

// An event handler receives the object that raised the event.
using TNotifyEvent = std::function<void(TObject* Sender)>;

// A component belongs to its owner: the owner deletes the components it owns
// when it is destroyed itself, newest first.  A component destroyed earlier
// takes itself out of its owner's list.
class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  const std::vector<TComponent*>& Components() const { return components_; }

  // The owned component of that name (names compare ignoring case, as the
  // window description's names do), or nullptr.
  TComponent* FindComponent(const std::string& name) const;

  std::string Name;

 protected:
  // Deletes every owned component now, for owners that must outlive their
  // components' clean-up.
  void DestroyComponents();

 private:
  TComponent* owner_;
  std::vector<TComponent*> components_;
};
