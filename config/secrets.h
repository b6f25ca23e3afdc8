#pragma once
// The passwords the configuration read, kept so that texts leaving the program (the crash
// report, bugreport.txt, standard error) can be cleaned of them whatever made those texts.
// Thread: any; one lock guards the list.

#include <string>

namespace kestrava {

// Remembers a password; an empty text is no secret.
void RememberSecret(const std::string& secret);
// The text with every remembered secret replaced by "********".
std::string HideSecrets(std::string text);

}  // namespace kestrava
