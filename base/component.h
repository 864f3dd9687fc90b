#pragma once
// The component base: an object with an owner and a name. The owner frees the components it
// owns when it is destroyed, and tells them first that it is being removed, so a component
// can react to the end of its owner (the population stops its run then).

#include <string>
#include <vector>

namespace qf {

enum TOperation { opInsert, opRemove };

class TComponent {
public:
  explicit TComponent(TComponent* owner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::vector<TComponent*>& Components() const { return components_; }

  std::string Name;

  // The step after the stored settings have been applied.
  virtual void Loaded() {}

  // Sent to every owned component when a component is inserted into or removed from the
  // owner, including the owner itself on its destruction.
  virtual void Notification(TComponent* component, TOperation operation);

private:
  TComponent* owner_;
  std::vector<TComponent*> components_;  // owned
};

}  // namespace qf
