#include <array>
#include <cstdio>
#include <memory>

#include <openssl/evp.h>

#include "opstation/platform/background_file.h"

namespace opstation::platform {

std::string sha256OfFile(const std::string &path) {
    const std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX *)> digest(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!file || !digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) return {};
    std::array<unsigned char, 65536> chunk;
    for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0;)
        EVP_DigestUpdate(digest.get(), chunk.data(), got);
    if (std::ferror(file.get())) return {};
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(digest.get(), sum, &size);
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", sum[i]);
        hex += two;
    }
    return hex;
}

}  // namespace opstation::platform
