#include "tool/Tool.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "crypto/SealedString.h"
#include "tool/ToolCommands.h"

namespace quillon {

namespace tool {

Arguments::Arguments(const std::vector<std::string>& args, size_t from,
                     std::initializer_list<std::string_view> valued,
                     std::initializer_list<std::string_view> flags) {
  const auto contains = [](std::initializer_list<std::string_view> list, std::string_view name) {
    for (const auto& item : list)
      if (item == name) return true;
    return false;
  };
  for (size_t i = from; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word.size() < 2 || word.compare(0, 2, "--") != 0) {
      positional_.push_back(word);
      continue;
    }
    if (contains(flags, word)) {
      if (!flags_.insert(word).second) throw Failure{word + " given twice"};
    } else if (contains(valued, word)) {
      if (i + 1 >= args.size()) throw Failure{word + " needs a value"};
      if (!values_.emplace(word, args[++i]).second) throw Failure{word + " given twice"};
    } else {
      throw Failure{"unknown option " + word};
    }
  }
}

std::optional<std::string> Arguments::Get(std::string_view name) const {
  const auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::string Arguments::Required(std::string_view name) const {
  auto value = Get(name);
  if (!value) throw Failure{std::string(name) + " is required"};
  return *value;
}

int ParseNumber(const std::string& text, int low, int high, std::string_view what) {
  const std::string bad = std::string(what) + " must be a number from " + std::to_string(low) +
                          " to " + std::to_string(high) + ", not '" + text + "'";
  if (text.empty() || text.size() > 9) throw Failure{bad};
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') throw Failure{bad};
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) throw Failure{bad};
  return value;
}

void NoPositional(const Arguments& a) {
  if (!a.Positional().empty()) throw Failure{"unexpected argument '" + a.Positional()[0] + "'"};
}

std::string SecretFromEnvironment(const std::string& variable) {
  const char* value = variable.empty() ? nullptr : std::getenv(variable.c_str());
  if (value == nullptr || *value == '\0') {
    throw Failure{"environment variable " + variable + " is not set or empty"};
  }
  return value;
}

std::optional<std::string> ReadLine(std::istream& in) {
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

namespace {

void Seal(std::istream& in, std::ostream& out) {
  const auto line = ReadLine(in);
  if (!line || line->empty()) throw Failure{"nothing to seal: standard input holds no text"};
  const auto sealed = SealString(*line);
  if (!sealed) throw Failure{"the text cannot be sealed"};
  out << *sealed << '\n';
}

void Unseal(std::istream& in, std::ostream& out) {
  const auto line = ReadLine(in);
  const auto text = line ? UnsealString(*line) : std::nullopt;
  if (!text) throw Failure{"the text does not unseal"};
  out << *text << '\n';
}

constexpr const char* kProfileUsage =
    "  quillon-tool profile set --ini FILE --slot N --name NAME --address HOST [--port P]\n"
    "               [--user U] [--password-stdin] [--passive] [--binary] [--threads N]\n"
    "               [--protocol ftp|ftpes|ftps|sftp] [--key-file PATH [--passphrase-stdin]]\n"
    "      (ftpes: FTP with TLS after AUTH TLS; ftps: implicit TLS, port 990 by default;\n"
    "       sftp: port 22 by default, with a password and/or an OpenSSH private key file;\n"
    "       the password comes first on standard input when both secrets are read there)\n"
    "  quillon-tool profile lock --ini FILE --slot N --lock-password-env VAR --root /DIR\n"
    "  quillon-tool profile show --ini FILE --slot N\n";

constexpr const char* kFileUsage =
    "  quillon-tool encrypt --key-env VAR [--key-name NAME] IN OUT\n"
    "  quillon-tool decrypt --key-env VAR IN OUT\n"
    "  quillon-tool seal      (reads one line, prints its protected form)\n"
    "  quillon-tool unseal    (reads one protected line, prints its text)\n";

constexpr const char* kTaskUsage =
    "  quillon-tool task set --store FILE (--slot N | --new --ini FILE [--profile-slot P])\n"
    "               --name NAME [--upload-from DIR --upload-to /RDIR]\n"
    "               [--download-from /RDIR --download-to DIR]\n"
    "               [--upload-age-hours H] [--download-age-hours H]\n"
    "               [--encryption-key-env VAR | --encryption-key-stdin] [--encryption-key-name N]\n"
    "               [--decryption-key-env VAR | --decryption-key-stdin]\n"
    "               [--delete-after-upload | --move-after-upload DIR] [--delete-after-download]\n"
    "               [--backup-local] [--backup-remote]\n"
    "               [--run-before-upload CMD] [--run-after-upload CMD]\n"
    "               [--run-before-download CMD] [--run-after-download CMD]\n"
    "               [--email-server HOST[:PORT] --email-from ADDR --email-to ADDRS]\n"
    "               [--program PATH]\n"
    "      (writes every task setting from the options: what is not given is off or empty;\n"
    "       --new copies the connection of the profile slot, 0 by default; prints the slot;\n"
    "       the encryption key comes first on standard input when both keys are read there;\n"
    "       a renamed task's schedule moves to the new name)\n"
    "  quillon-tool task list --store FILE             (one line per task: slot, tab, name)\n"
    "  quillon-tool task show --store FILE --slot N    (the task's settings as stored, its\n"
    "                                                   schedule and next run)\n"
    "  quillon-tool task delete --store FILE --slot N  (and its schedule)\n"
    "  quillon-tool task schedule --store FILE --slot N [--program PATH]\n"
    "               (--once \"YYYY-MM-DD HH:MM\" | --daily HH:MM [--every-days N]\n"
    "                | --weekly DAYS HH:MM [--every-weeks N]\n"
    "                | --monthly DAY[,DAY...] HH:MM [--months MONTHS])\n"
    "               [--repeat-every MINUTES --repeat-for MINUTES]\n"
    "      (DAYS like mon,wed,fri; MONTHS like jan,jul; daily, weekly and monthly start today;\n"
    "       the entry runs PATH, by default the quillon beside quillon-tool or on PATH, as a\n"
    "       systemd user timer when systemctl --user answers, else in the user's crontab)\n"
    "  quillon-tool task unschedule --store FILE --slot N\n";

constexpr const char* kTrustUsage =
    "  quillon-tool trust --ini FILE --slot N [--fingerprint SHA256:<base64>]\n"
    "      (connects to the profile's FTP-over-TLS or SFTP server without logging in and prints\n"
    "       what it presents: subject, issuer and validity of its certificate, or its host key\n"
    "       type, and the fingerprint on a line of its own; with --fingerprint it trusts the\n"
    "       server always when it presents exactly that one (the trust files in the program\n"
    "       folder), and fails with exit status 1 when it does not)\n";

void PrintUsage(std::ostream& out, std::string command) {
  if (command != "profile" && command != "task" && command != "encrypt" && command != "decrypt" &&
      command != "seal" && command != "unseal" && command != "trust")
    command.clear();
  out << "usage:\n";
  if (command.empty() || command == "profile") out << kProfileUsage;
  if (command.empty() || command == "encrypt" || command == "decrypt" || command == "seal" ||
      command == "unseal")
    out << kFileUsage;
  if (command.empty() || command == "task") out << kTaskUsage;
  if (command.empty() || command == "trust") out << kTrustUsage;
}

void Dispatch(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
              std::ostream& err) {
  const std::string& command = args[0];
  if (command == "profile") {
    if (args.size() < 2) throw Failure{"profile needs one of set, lock, show"};
    const std::string& action = args[1];
    if (action == "set") {
      ProfileSet(Arguments(args, 2,
                           {"--ini", "--slot", "--name", "--address", "--port", "--user",
                            "--threads", "--protocol", "--key-file"},
                           {"--password-stdin", "--passive", "--binary", "--passphrase-stdin"}),
                 in);
    } else if (action == "lock") {
      ProfileLock(Arguments(args, 2, {"--ini", "--slot", "--lock-password-env", "--root"}, {}));
    } else if (action == "show") {
      ProfileShow(Arguments(args, 2, {"--ini", "--slot"}, {}), out);
    } else {
      throw Failure{"unknown profile action '" + action + "' (set, lock, show)"};
    }
  } else if (command == "task") {
    if (args.size() < 2)
      throw Failure{"task needs one of set, list, show, delete, schedule, unschedule"};
    const std::string& action = args[1];
    if (action == "set") {
      TaskSet(Arguments(args, 2,
                        {"--store",
                         "--program",
                         "--slot",
                         "--ini",
                         "--profile-slot",
                         "--name",
                         "--upload-from",
                         "--upload-to",
                         "--download-from",
                         "--download-to",
                         "--upload-age-hours",
                         "--download-age-hours",
                         "--encryption-key-env",
                         "--encryption-key-name",
                         "--decryption-key-env",
                         "--move-after-upload",
                         "--run-before-upload",
                         "--run-after-upload",
                         "--run-before-download",
                         "--run-after-download",
                         "--email-server",
                         "--email-from",
                         "--email-to"},
                        {"--new", "--encryption-key-stdin", "--decryption-key-stdin",
                         "--delete-after-upload", "--delete-after-download", "--backup-local",
                         "--backup-remote"}),
              in, out);
    } else if (action == "list") {
      TaskList(Arguments(args, 2, {"--store"}, {}), out);
    } else if (action == "show") {
      TaskShow(Arguments(args, 2, {"--store", "--slot"}, {}), out);
    } else if (action == "delete") {
      TaskDelete(Arguments(args, 2, {"--store", "--slot"}, {}));
    } else if (action == "schedule") {
      TaskSchedule(
          Arguments(JoinTwoWordOptions(args), 2,
                    {"--store", "--slot", "--program", "--once", "--daily", "--weekly", "--monthly",
                     "--every-days", "--every-weeks", "--months", "--repeat-every", "--repeat-for"},
                    {}),
          out, err);
    } else if (action == "unschedule") {
      TaskUnschedule(Arguments(args, 2, {"--store", "--slot"}, {}));
    } else {
      throw Failure{"unknown task action '" + action +
                    "' (set, list, show, delete, schedule, unschedule)"};
    }
  } else if (command == "trust") {
    Trust(Arguments(args, 1, {"--ini", "--slot", "--fingerprint"}, {}), out);
  } else if (command == "encrypt") {
    Encrypt(Arguments(args, 1, {"--key-env", "--key-name"}, {}));
  } else if (command == "decrypt") {
    Decrypt(Arguments(args, 1, {"--key-env"}, {}));
  } else if (command == "seal" || command == "unseal") {
    if (args.size() > 1) throw Failure{command + " takes no arguments"};
    command == "seal" ? Seal(in, out) : Unseal(in, out);
  } else {
    throw Failure{"unknown command '" + command + "' (try --help)"};
  }
}

}  // namespace

}  // namespace tool

int RunTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err) {
  // "--help" (or "-h") anywhere asks for the usage of the command it follows.
  if (!args.empty() &&
      (args[0] == "help" || std::find_if(args.begin(), args.end(), [](const std::string& word) {
                              return word == "--help" || word == "-h";
                            }) != args.end())) {
    tool::PrintUsage(out, args[0].starts_with("-") || args[0] == "help" ? "" : args[0]);
    return 0;
  }
  try {
    if (args.empty()) throw tool::Failure{"no command given (try --help)"};
    tool::Dispatch(args, in, out, err);
    out.flush();
    if (!out) throw tool::Failure{"cannot write to standard output"};
    return 0;
  } catch (const tool::Failure& failure) {
    err << "quillon-tool: " << failure.text << '\n';
    return 1;
  } catch (const std::exception& e) {
    err << "quillon-tool: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace quillon
