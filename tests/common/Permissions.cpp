#include "common/Permissions.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

namespace trelwick::testing {
namespace {

constexpr std::uint32_t kOverrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

bool setOverrides(bool on) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    data[0].effective =
        on ? data[0].effective | (data[0].permitted & kOverrides) : data[0].effective & ~kOverrides;
    return ::syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

PermissionsBind::PermissionsBind() {
    if (::geteuid() != 0) {
        active_ = true;
        return;
    }
    dropped_ = setOverrides(false);
    active_ = dropped_;
}

PermissionsBind::~PermissionsBind() {
    if (dropped_) setOverrides(true);
}

}  // namespace trelwick::testing
