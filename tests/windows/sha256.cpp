// SHA-256 for the golden digests on Windows: the system's own (CNG), as
// OpenSSL is on Linux. Only this part of decoders.h is built here; the
// decoders themselves are Linux programs and libraries.
#include "decoders.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace testing_support
{

namespace
{

void Check(NTSTATUS status, const char *call)
{
  if (status < 0)
    throw std::runtime_error(std::string(call) + " failed");
}

}  // namespace

std::string Sha256(const std::vector<uint8_t> &bytes)
{
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  unsigned char digest[32];
  Check(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0), "BCryptOpenAlgorithmProvider");
  NTSTATUS status = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
  // BCryptHashData takes a ULONG count: a vector larger than that comes in parts.
  for (size_t done = 0; status >= 0 && done < bytes.size();)
  {
    const ULONG part = static_cast<ULONG>(std::min<size_t>(bytes.size() - done, 1u << 30));
    status = BCryptHashData(hash, const_cast<PUCHAR>(bytes.data() + done), part, 0);
    done += part;
  }
  if (status >= 0)
    status = BCryptFinishHash(hash, digest, sizeof digest, 0);
  if (hash != nullptr)
    BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  Check(status, "SHA-256 hashing");
  std::string hex;
  for (unsigned char byte : digest)
  {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

}  // namespace testing_support
