#include <array>
#include <cstdio>
#include <memory>

#include <windows.h>
#include <bcrypt.h>

#include "opstation/platform/background_file.h"

namespace opstation::platform {

// Windows' own cryptography (bcrypt.dll), which every Windows has.
std::string sha256OfFile(const std::string &path) {
    const std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!file || BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return {};
    std::string hex;
    if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0) {
        std::array<unsigned char, 65536> chunk;
        for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0;)
            BCryptHashData(hash, chunk.data(), static_cast<ULONG>(got), 0);
        unsigned char sum[32];
        if (!std::ferror(file.get()) && BCryptFinishHash(hash, sum, sizeof sum, 0) == 0)
            for (const unsigned char byte : sum) {
                char two[3];
                std::snprintf(two, sizeof two, "%02x", byte);
                hex += two;
            }
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return hex;
}

}  // namespace opstation::platform
