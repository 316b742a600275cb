#include "platform/os_error.h"

#include "platform/host.h"

namespace ryn::platform {
namespace {

std::optional<std::u16string> &kept_reason() {
    thread_local std::optional<std::u16string> reason;
    return reason;
}

}  // namespace

void note_os_reason(std::u16string reason) {
    // The sink sends it as a message of its own, ended by its own line end.
    while (!reason.empty() && (reason.back() == u'\n' || reason.back() == u'\r' || reason.back() == u' '))
        reason.pop_back();
    if (!reason.empty()) kept_reason() = std::move(reason);
}

void note_errno(int error) { note_os_reason(host::errno_text(error)); }

std::optional<std::u16string> take_os_reason() {
    std::optional<std::u16string> reason = std::move(kept_reason());
    kept_reason().reset();
    return reason;
}

void clear_os_reason() { kept_reason().reset(); }

}  // namespace ryn::platform
