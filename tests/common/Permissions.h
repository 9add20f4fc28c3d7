#pragma once

// Tests of what an unreadable or unwritable folder does run as root too (as in CI): root passes every
// permission check through two capabilities, which this drops for its lifetime.
namespace trelwick::testing {

// While alive, the calling thread is held to file permissions like any user. Capabilities belong to a
// thread, so the work checked must run on this one.
class PermissionsBind {
  public:
    PermissionsBind();
    ~PermissionsBind();
    PermissionsBind(const PermissionsBind&) = delete;
    PermissionsBind& operator=(const PermissionsBind&) = delete;

    // False when permissions still do not bind (the capabilities could not be dropped): skip then.
    bool active() const { return active_; }

  private:
    bool dropped_ = false;
    bool active_ = false;
};

}  // namespace trelwick::testing
