// File digests through the system's own SHA-256: nothing of it is carried in the executables.
#include "digest.h"

#include "text.h"

#include <wincrypt.h>

// A file larger than this is no file of the package.
enum { LARGEST_DIGESTED = 64 * 1024 * 1024 };

struct Hashing {
    HCRYPTHASH hash;
};

// One provider for the whole run, taken at the first digest: acquiring it costs far more than
// hashing a carried file, and setup takes six digests before its first window.
static HCRYPTPROV s_provider;

static bool BeginDigest(Hashing* hashing)
{
    HCRYPTPROV provider;
    hashing->hash = 0;
    if (s_provider == 0 && CryptAcquireContextW(&provider, NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        s_provider = provider;
    return s_provider != 0 && CryptCreateHash(s_provider, CALG_SHA_256, 0, 0, &hashing->hash);
}

// Ends the hashing; with `done` the digest's bytes are taken from it.
static bool EndDigest(Hashing* hashing, bool done, FileDigest* digest)
{
    DWORD cb = sizeof digest->sha256;
    done = done && CryptGetHashParam(hashing->hash, HP_HASHVAL, digest->sha256, &cb, 0) && cb == sizeof digest->sha256;
    CryptDestroyHash(hashing->hash);
    return done;
}

bool DigestOpenFile(HANDLE file, FileDigest* digest)
{
    Hashing hashing;
    if (!BeginDigest(&hashing))
        return false;
    digest->size = 0;
    bool done = true;
    for (;;) {
        BYTE chunk[2048];
        DWORD read = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &read, NULL) || digest->size + read > LARGEST_DIGESTED) {
            done = false;
            break;
        }
        if (read == 0)
            break;
        digest->size += read;
        if (!CryptHashData(hashing.hash, chunk, read, 0)) {
            done = false;
            break;
        }
    }
    return EndDigest(&hashing, done, digest);
}

bool DigestBytes(const BYTE* bytes, DWORD size, FileDigest* digest)
{
    Hashing hashing;
    if (!BeginDigest(&hashing))
        return false;
    digest->size = size;
    return EndDigest(&hashing, CryptHashData(hashing.hash, bytes, size, 0) != FALSE, digest);
}

bool SameDigest(const FileDigest* one, const FileDigest* other)
{
    return one->size == other->size && SameBytes(one->sha256, other->sha256, sizeof one->sha256);
}
