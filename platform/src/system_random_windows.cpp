#include "opstation/platform/system_random.h"

#include <system_error>

#include <windows.h>
#include <bcrypt.h>

namespace opstation::platform {

void fillFromSystemGenerator(std::span<std::uint8_t> bytes) {
    const NTSTATUS status = BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()),
                                            BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) throw std::system_error(static_cast<int>(status), std::system_category(), "BCryptGenRandom");
}

}  // namespace opstation::platform
