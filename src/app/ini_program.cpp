// Reading the tralvo-ini command line and handing it to its verb.
#include "app/ini_program.h"

#include <string>

#include "app/config_check.h"
#include "app/version.h"
#include "config/ini_command.h"

namespace tralvo {
namespace {

const char kUsage[] =
    "Usage: tralvo-ini COMMAND\n"
    "\n"
    "Commands:\n"
    "  encode       read one value from standard input, print its stored form\n"
    "  decode       read one stored form from standard input, print its value\n"
    "  write FILE   ask for LOGIN, PASS, DB_SYSTEM, DATABASE, LOGIN_TIMEOUT,\n"
    "               QUERY_TIMEOUT (seconds; an empty answer keeps the defaults 30\n"
    "               and 60) and STATUS_DIR (an empty answer: no status file) and\n"
    "               write them as a complete configuration file, readable by its\n"
    "               owner alone (one value per line when standard input is not a\n"
    "               terminal, the last three optional; the password is never\n"
    "               echoed)\n"
    "  show FILE    list the records of a configuration file, password masked\n"
    "  check        check the installation as a run meets it: started in a run's\n"
    "               working directory as the run's account, one line per check\n"
    "               (ok, warning or error); exit status 1 when any is an error\n"
    "  check FILE   connect with a configuration file as a run would, print the\n"
    "               server time and \"ok\"\n"
    "  --help       show this text\n"
    "  --version    show the version\n"
    "\n"
    "Values are never taken from the command line.\n";

int Dispatch(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  const std::string verb = argc > 1 ? argv[1] : "";
  if (argc == 2) {
    // A failed write of either shows when out is checked at the end.
    if (verb == "--help" || verb == "-h") {
      std::fputs(kUsage, out);
      return kIniOk;
    }
    if (verb == "--version") {
      std::fputs("tralvo-ini " TRALVO_VERSION "\n", out);
      return kIniOk;
    }
    if (verb == "encode") return IniEncode(in, out, err);
    if (verb == "decode") return IniDecode(in, out, err);
    if (verb == "check") return CheckInstallation(out, err);
  }
  if (argc == 3) {
    if (verb == "write") return IniWrite(argv[2], in, err);
    if (verb == "show") return IniShow(argv[2], out, err);
    if (verb == "check") return CheckConfiguration(argv[2], out, err);
  }
  if (argc < 2) {
    std::fputs("tralvo-ini: a command is missing\n\n", err);
  } else {
    std::fprintf(err, "tralvo-ini: unknown command or wrong arguments: %s\n\n", argv[1]);
  }
  std::fputs(kUsage, err);
  return kIniUsage;
}

}  // namespace

int RunIniProgram(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                  std::FILE* err) noexcept {
  try {
    const int status = Dispatch(argc, argv, in, out, err);
    // A verb that printed its result into a full disk or a closed pipe has
    // not delivered it.
    if (std::fflush(out) != 0 || std::ferror(out)) {
      std::fputs("tralvo-ini: cannot write standard output\n", err);
      return kIniFailed;
    }
    return status;
  } catch (...) {
    std::fputs("tralvo-ini: out of memory\n", err);
    return kIniFailed;
  }
}

}  // namespace tralvo
