#ifndef SRC_FRAMEWORK_GTK_GOBJECT_PTR_H_
#define SRC_FRAMEWORK_GTK_GOBJECT_PTR_H_

#include <glib-object.h>

#include <utility>

namespace fw {

/// Owns one reference to a GObject, dropped when the owner ends or is reset. An empty owner
/// holds null.
template <typename T>
class GObjectPtr {
 public:
  GObjectPtr() = default;
  /// Takes over a reference that the caller owns (a "transfer full" result).
  explicit GObjectPtr(T* object) : object_(object) {}
  ~GObjectPtr() { reset(); }
  GObjectPtr(const GObjectPtr&) = delete;
  GObjectPtr& operator=(const GObjectPtr&) = delete;
  GObjectPtr(GObjectPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  GObjectPtr& operator=(GObjectPtr&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }

  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void reset() {
    if (object_ != nullptr) {
      g_object_unref(std::exchange(object_, nullptr));
    }
  }

 private:
  T* object_ = nullptr;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_GTK_GOBJECT_PTR_H_
