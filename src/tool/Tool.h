#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quillon {

// quillon-tool, the command-line companion: writes and locks connection profiles, shows them
// as ReadProfile reads them, makes, lists, shows and deletes tasks in a task store, encrypts
// and decrypts files in the container format, and seals and unseals protected INI values.
//
//   profile set  --ini FILE --slot N --name NAME --address HOST [--port P] [--user U]
//                [--password-stdin] [--passive] [--binary] [--threads N]
//                [--protocol ftp|ftpes|ftps|sftp] [--key-file PATH [--passphrase-stdin]]
//   profile lock --ini FILE --slot N --lock-password-env VAR --root /DIR
//   profile show --ini FILE --slot N
//   encrypt --key-env VAR [--key-name NAME] IN OUT
//   decrypt --key-env VAR IN OUT
//   seal | unseal          (one line on standard input)
//   task set    --store FILE (--slot N | --new --ini FILE [--profile-slot P]) --name NAME
//               [folders, ages, keys, after-transfer choices, backups, hooks, e-mail]
//   task list   --store FILE
//   task show   --store FILE --slot N          (settings, then schedule and next run)
//   task delete --store FILE --slot N          (and the task's scheduled entry)
//   task schedule   --store FILE --slot N [--program PATH] (--once | --daily | --weekly |
//                   --monthly ...) [--repeat-every M --repeat-for M]
//   task unschedule --store FILE --slot N
//
// Scheduled entries are the task manager's (tasks/TaskSchedules): systemd user timers or crontab
// blocks that run the task with its "TaskID"; `task set` renaming a task moves its entry.
// "--help" (or "-h") after any command prints that command's usage and gives 0.
//
// `task set` writes every task setting from its options and checks the task as the task
// manager does; its messages ("Invalid upload From/To folder.", "Cannot save: Maximum tasks
// reached.", ...) become the error line. The full options are in the --help text.
//
// Secrets come from standard input or an environment variable, never from the command line.
// Every error is one line "quillon-tool: ..." on `err` and gives 1; success gives 0.
// `args` are the arguments after the program name.
int RunTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err);

}  // namespace quillon
