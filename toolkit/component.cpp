#include "toolkit/component.h"

#include "imaging/resources.h"

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_ != nullptr) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (owner_ != nullptr) std::erase(owner_->components_, this);
}

void TComponent::DestroyComponents() {
  // Deleting a component takes it out of components_, so take from the back.
  while (!components_.empty()) delete components_.back();
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  for (TComponent* component : components_) {
    if (imaging::SameText(component->Name, name)) return component;
  }
  return nullptr;
}
