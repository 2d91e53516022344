// Owner/ownership model shared by every pipeline component.
//
// A component is created with an owner that destroys it; links between
// components are plain non-owning pointers. A component that keeps such a
// link registers itself with FreeNotification, and is told through
// Notification(opRemove) when the linked component goes away, while that
// component is still fully alive, so it can drop (or close) the link safely.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace cdx {

class TComponent;

enum class TOperation { opInsert, opRemove };

// Destroys a component through TComponent::Free (see there).
struct ComponentDeleter {
  void operator()(TComponent* component) const;
};

template <class T>
using ComponentPtr = std::unique_ptr<T, ComponentDeleter>;

class TComponent {
 public:
  explicit TComponent(TComponent* owner);
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(index); }
  TComponent* FindComponent(const std::string& name) const;

  // Asks to be told (Notification opRemove) when `component` is removed.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  // The one way to destroy a component: while the object is still whole, it
  // stops whatever runs on its behalf (BeforeDestruction), frees the
  // components it owns (last created first), tells every component that
  // links to it, leaves its owner, and only then is deleted.
  void Free();

  bool Destroying() const { return destroying_; }

 protected:
  virtual ~TComponent();
  virtual void Notification(TComponent* component, TOperation operation);
  // Hook run first by Free, with every virtual still dispatching to the
  // most derived class.
  virtual void BeforeDestruction() {}

 private:
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  void NotifyRemoval();

  TComponent* owner_ = nullptr;
  std::string name_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  bool destroying_ = false;
};

// Creates a component that nothing owns; the returned pointer frees it.
template <class T, class... Args>
ComponentPtr<T> MakeComponent(Args&&... args) {
  return ComponentPtr<T>(new T(nullptr, std::forward<Args>(args)...));
}

// Creates a component owned (and later freed) by `owner`.
template <class T, class... Args>
T* CreateComponent(TComponent& owner, Args&&... args) {
  return new T(&owner, std::forward<Args>(args)...);
}

}  // namespace cdx
