#include <memory>

#include <openssl/evp.h>

#include "file_io.h"
#include "opstation/platform/background_file.h"

namespace opstation::platform {

// OpenSSL's libcrypto.
std::string sha256OfFile(const std::string &path) {
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX *)> digest(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) return {};
    const bool read = io::readInChunks(path, [&](const unsigned char *bytes, std::size_t size) {
        EVP_DigestUpdate(digest.get(), bytes, size);
    });
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!read || EVP_DigestFinal_ex(digest.get(), sum, &size) != 1) return {};
    return io::hexDigits({sum, size});
}

}  // namespace opstation::platform
