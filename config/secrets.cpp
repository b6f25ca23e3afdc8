#include "config/secrets.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace kestrava {

namespace {

std::mutex g_secretsLock;
std::vector<std::string> g_secrets;  // GUARDED_BY(g_secretsLock); longest first

}  // namespace

void RememberSecret(const std::string& secret) {
  if (secret.empty()) return;
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

}  // namespace kestrava
