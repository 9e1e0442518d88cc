#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quillon {

// quillon-tool, the command-line companion: writes and locks connection profiles, shows them
// as ReadProfile reads them, encrypts and decrypts files in the container format, and seals
// and unseals protected INI values.
//
//   profile set  --ini FILE --slot N --name NAME --address HOST [--port P] [--user U]
//                [--password-stdin] [--passive] [--binary] [--threads N]
//   profile lock --ini FILE --slot N --lock-password-env VAR --root /DIR
//   profile show --ini FILE --slot N
//   encrypt --key-env VAR [--key-name NAME] IN OUT
//   decrypt --key-env VAR IN OUT
//   seal | unseal          (one line on standard input)
//
// Secrets come from standard input or an environment variable, never from the command line.
// Every error is one line "quillon-tool: ..." on `err` and gives 1; success gives 0.
// `args` are the arguments after the program name.
int RunTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err);

}  // namespace quillon
