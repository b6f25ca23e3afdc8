#include "config/secrets.h"

#include <strings.h>
#include <sys/prctl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace kestrava {

namespace {

std::mutex g_secretsLock;
std::vector<std::string> g_secrets;  // GUARDED_BY(g_secretsLock); longest first

}  // namespace

void RememberSecret(const std::string& secret) {
  if (secret.empty()) return;
  // No core dump: it would hold the password in clear, in every copy the program has made.
  // (This also keeps other users' debuggers away, as for any program with secrets.)
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  std::lock_guard<std::mutex> lock(g_secretsLock);
  if (std::find(g_secrets.begin(), g_secrets.end(), secret) != g_secrets.end()) return;
  g_secrets.push_back(secret);
  // A secret that holds another one is hidden first, so no part of it stays readable.
  std::stable_sort(g_secrets.begin(), g_secrets.end(),
                   [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

std::string HideSecrets(std::string text) {
  std::lock_guard<std::mutex> lock(g_secretsLock);
  for (const std::string& secret : g_secrets) {
    for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 8)) {
      text.replace(at, secret.size(), "********");
    }
  }
  return text;
}

void WipeSecret(std::string& text) {
  text.resize(text.capacity());
  explicit_bzero(text.data(), text.size());
  text.clear();
}

void ReplaceSecret(std::string& held, std::string& given) {
  WipeSecret(held);
  held = given;
  WipeSecret(given);
}

std::string TakeSecretFromEnvironment(const char* variable) {
  char* value = std::getenv(variable);
  if (value == nullptr) return std::string();
  std::string secret = value;
  explicit_bzero(value, std::strlen(value));
  unsetenv(variable);
  return secret;
}

}  // namespace kestrava
