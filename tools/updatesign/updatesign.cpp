// The community's update signing tool, run on the release manager's machine
// and never part of the launcher:
//   velor-updatesign keygen <private key file>
//     makes a key pair, writes the private key to a new file readable by its
//     owner only, and prints the public key (base64, as VELOR_UPDATE_PUBLIC_KEYS
//     takes it);
//   velor-updatesign public <private key file>
//     prints the public key of a private key;
//   velor-updatesign sign <private key file> <archive> <version> <url> [changelog]
//     prints the whole version answer, its "signature" over
//     "velor-launcher-update\n<version>\n<sha256 of the archive>\n".
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sodium.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
int fail(const std::string &message)
{
    std::fprintf(stderr, "velor-updatesign: %s\n", message.c_str());
    return 1;
}

std::string base64(const unsigned char *bytes, size_t size)
{
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.pop_back(); // the terminating zero
    return text;
}

std::string jsonString(const std::string &text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + '"';
}

int keygen(const char *path)
{
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(publicKey, secretKey);
    std::string text = base64(secretKey, sizeof secretKey) + '\n';
    sodium_memzero(secretKey, sizeof secretKey);
    // O_EXCL: an existing key is never overwritten, it may be the only copy.
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL, 0600);
    const bool written = fd >= 0 && fchmod(fd, 0600) == 0 && write(fd, text.data(), text.size()) == ssize_t(text.size())
        && fsync(fd) == 0;
    const int error = errno;
    sodium_memzero(text.data(), text.size());
    if (fd >= 0)
        close(fd);
    if (!written) {
        if (fd >= 0)
            unlink(path); // no half-written key left to be taken for a good one
        return fail(std::string("cannot write a new key file ") + path + ": " + std::strerror(error));
    }
    std::printf("%s\n", base64(publicKey, sizeof publicKey).c_str());
    return 0;
}

bool readSecretKey(const char *path, unsigned char (&secretKey)[crypto_sign_SECRETKEYBYTES])
{
    FILE *file = std::fopen(path, "rb");
    if (!file)
        return false;
    char text[256] = {};
    const size_t size = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    size_t decoded = 0;
    const bool ok = sodium_base642bin(secretKey, sizeof secretKey, text, size, " \r\n", &decoded, nullptr,
                        sodium_base64_VARIANT_ORIGINAL)
            == 0
        && decoded == sizeof secretKey;
    sodium_memzero(text, sizeof text);
    return ok;
}

bool sha256File(const char *path, unsigned char (&digest)[crypto_hash_sha256_BYTES])
{
    FILE *file = std::fopen(path, "rb");
    if (!file)
        return false;
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    static unsigned char buffer[1 << 16];
    size_t size;
    while ((size = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        crypto_hash_sha256_update(&state, buffer, size);
    const bool read = !std::ferror(file);
    std::fclose(file);
    crypto_hash_sha256_final(&state, digest);
    return read;
}

int sign(const char *keyPath, const char *archive, const std::string &version, const char *url, const char *changelog)
{
    // The version is one line of the signed text; a line break in it would
    // let that text be read two ways.
    for (const unsigned char c : version) {
        if (c < 0x20)
            return fail("the version must be one line of printable text");
    }
    if (version.empty())
        return fail("the version is empty");
    // The launcher fetches only over https (plain http on loopback, for tests).
    const std::string address = url;
    if (address.rfind("https://", 0) != 0 && address.rfind("http://127.0.0.1:", 0) != 0
        && address.rfind("http://localhost:", 0) != 0)
        return fail("the download address must start with https://");
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
    if (!readSecretKey(keyPath, secretKey))
        return fail(std::string("cannot read a private key from ") + keyPath);
    unsigned char digest[crypto_hash_sha256_BYTES];
    if (!sha256File(archive, digest)) {
        sodium_memzero(secretKey, sizeof secretKey);
        return fail(std::string("cannot read the archive ") + archive);
    }
    char hex[2 * sizeof digest + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    const std::string text = "velor-launcher-update\n" + version + '\n' + hex + '\n';
    unsigned char signature[crypto_sign_BYTES];
    crypto_sign_detached(
        signature, nullptr, reinterpret_cast<const unsigned char *>(text.data()), text.size(), secretKey);
    sodium_memzero(secretKey, sizeof secretKey);

    std::printf(
        "{\n  \"version\": %s,\n  \"download_url\": %s,\n", jsonString(version).c_str(), jsonString(url).c_str());
    if (changelog && *changelog)
        std::printf("  \"changelog\": %s,\n", jsonString(changelog).c_str());
    std::printf(
        "  \"sha256\": \"%s\",\n  \"signature\": \"%s\"\n}\n", hex, base64(signature, sizeof signature).c_str());
    return std::fflush(stdout) == 0 ? 0 : fail("cannot write the answer");
}
} // namespace

int main(int argc, char **argv)
{
    if (sodium_init() < 0)
        return fail("libsodium cannot start");
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "keygen" && argc == 3)
        return keygen(argv[2]);
    if (command == "public" && argc == 3) {
        unsigned char secretKey[crypto_sign_SECRETKEYBYTES], publicKey[crypto_sign_PUBLICKEYBYTES];
        const bool read = readSecretKey(argv[2], secretKey) && crypto_sign_ed25519_sk_to_pk(publicKey, secretKey) == 0;
        sodium_memzero(secretKey, sizeof secretKey);
        if (!read)
            return fail(std::string("cannot read a private key from ") + argv[2]);
        std::printf("%s\n", base64(publicKey, sizeof publicKey).c_str());
        return 0;
    }
    if (command == "sign" && (argc == 6 || argc == 7))
        return sign(argv[2], argv[3], argv[4], argv[5], argc == 7 ? argv[6] : nullptr);
    std::fprintf(stderr,
        "usage: velor-updatesign keygen <private key file>\n"
        "       velor-updatesign public <private key file>\n"
        "       velor-updatesign sign <private key file> <archive> <version> <url> [changelog]\n");
    return 2;
}
