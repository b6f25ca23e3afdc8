#pragma once
// The passwords the configuration read, kept so that texts leaving the program (the crash
// report, bugreport.txt, standard error) can be cleaned of them whatever made those texts.
// While the program holds a password it makes no core dump (a dump would carry every copy in
// clear), and a password's text is wiped where it is dropped or replaced.
// Thread: any; one lock guards the list.

#include <string>

namespace kestrava {

// Remembers a password; an empty text is no secret. The first secret turns core dumps off for
// the rest of the process's life.
void RememberSecret(const std::string& secret);
// The text with every remembered secret replaced by "********".
std::string HideSecrets(std::string text);

// Overwrites the whole of the text's storage with zeros and leaves it empty.
void WipeSecret(std::string& text);
// held takes given's text; the old text of held and given's own copy are wiped.
void ReplaceSecret(std::string& held, std::string& given);
// The password in the environment variable, or "" when it is unset; the variable's text is
// wiped and the variable removed, so that neither the environment of this process nor that of
// the programs it starts shows it.
std::string TakeSecretFromEnvironment(const char* variable);

}  // namespace kestrava
