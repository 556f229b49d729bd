#include <windows.h>
#include <bcrypt.h>

#include "file_io.h"
#include "opstation/platform/background_file.h"

namespace opstation::platform {

// Windows' own cryptography (bcrypt.dll), which every Windows has.
std::string sha256OfFile(const std::string &path) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return {};
    std::string hex;
    if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0) {
        const bool read = io::readInChunks(path, [&](const unsigned char *bytes, std::size_t size) {
            BCryptHashData(hash, const_cast<unsigned char *>(bytes), static_cast<ULONG>(size), 0);
        });
        unsigned char sum[32];
        if (read && BCryptFinishHash(hash, sum, sizeof sum, 0) == 0) hex = io::hexDigits(sum);
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return hex;
}

}  // namespace opstation::platform
