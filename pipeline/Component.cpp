#include "pipeline/Component.h"

#include <algorithm>
#include <cassert>

namespace cdx {

void ComponentDeleter::operator()(TComponent* component) const {
  if (component) component->Free();
}

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  // Registering here is exception safe: when a derived constructor throws,
  // this base destructor runs and unregisters again.
  if (owner_) owner_->InsertComponent(this);
}

TComponent::~TComponent() {
  // Free() has already done the work; this only covers a derived constructor
  // that threw, where no virtual may be called any more.
  if (!destroying_) {
    for (TComponent* c : freeNotifies_) c->RemoveFreeNotification(this);
    if (owner_) owner_->RemoveComponent(this);
  }
}

void TComponent::Free() {
  if (destroying_) return;
  destroying_ = true;
  BeforeDestruction();
  while (!components_.empty()) components_.back()->Free();
  NotifyRemoval();
  if (owner_) owner_->RemoveComponent(this);
  owner_ = nullptr;
  delete this;
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  for (TComponent* c : components_)
    if (c->name_ == name) return c;
  return nullptr;
}

void TComponent::FreeNotification(TComponent* component) {
  if (!component || component == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end()) {
    freeNotifies_.push_back(component);
    component->FreeNotification(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  auto it = std::find(freeNotifies_.begin(), freeNotifies_.end(), component);
  if (it == freeNotifies_.end()) return;
  freeNotifies_.erase(it);
  component->RemoveFreeNotification(this);
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::InsertComponent(TComponent* component) {
  components_.push_back(component);
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it != components_.end()) components_.erase(it);
}

void TComponent::NotifyRemoval() {
  // Each observer is told once; a notification may change the lists.
  while (!freeNotifies_.empty()) {
    TComponent* observer = freeNotifies_.back();
    RemoveFreeNotification(observer);
    observer->Notification(this, TOperation::opRemove);
  }
  if (owner_) owner_->Notification(this, TOperation::opRemove);
}

}  // namespace cdx
