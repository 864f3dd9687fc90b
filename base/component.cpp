#include "base/component.h"

#include <algorithm>

namespace qf {

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) {
    owner_->components_.push_back(this);
    for (TComponent* c : owner_->components_) c->Notification(this, opInsert);
  }
}

TComponent::~TComponent() {
  // Tell the owned components their owner goes, then free them, newest first.
  for (TComponent* c : components_) c->Notification(this, opRemove);
  while (!components_.empty()) {
    TComponent* c = components_.back();
    components_.pop_back();
    c->owner_ = nullptr;
    delete c;
  }
  if (owner_) {
    auto& siblings = owner_->components_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    for (TComponent* c : siblings) c->Notification(this, opRemove);
  }
}

void TComponent::Notification(TComponent* /*component*/, TOperation /*operation*/) {}

}  // namespace qf
