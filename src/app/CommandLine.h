// Credentials given on the command line: "/", one option letter, the user
// name, "//" and the password.
#pragma once

#include <optional>
#include <string>

namespace hv {

struct Credentials {
    std::string user;
    std::string password;
};

// `text` is the program's arguments after its own name, joined by single
// blanks.
std::optional<Credentials> ParseCredentials(std::string text);

// The arguments after the program's name, joined by single blanks.
std::string JoinArguments(int argc, char** argv);

// Overwrites, in the process's own argument memory, everything after the
// first "//" of the joined arguments, so the password does not stay visible
// to other users in the process list.
void HidePassword(int argc, char** argv);

}  // namespace hv
