#include "cli/command_line.h"

#include "cli/batch_command.h"
#include "cli/call_command.h"
#include "cli/probe_caller.h"
#include "cli/probe_command.h"
#include "cli/reference_command.h"

namespace pelmo::cli {

std::string usage_text(bool with_local_commands) {
  std::string text =
      "usage: pelmo call [--no-page] [--request-method M] METHOD [ARG ...]\n"
      "       pelmo batch [--no-page] [--request-method M]   (calls as JSON lines on stdin)\n"
      "       pelmo methods [--text]   (slots and parameters; --text adds each summary)\n"
      "       pelmo help [METHOD]      (every method's summary, or one method's reference)\n"
      "       pelmo info [--json]      (version, and every setting with its value and source)\n"
      "       pelmo probe FILE [--json | --plugin | --prometheus OUT]\n";
  if (with_local_commands) text += "       pelmo demo\n";
  text +=
      "       pelmo --help | --version\n"
      "\n"
      "ARG words: empty, null, s:TEXT, u:HHHH..., sf:PATH, n:NUMBER, i:NUMBER, l:NUMBER,\n"
      "           b:true, b:false, x:HEX, xf:PATH\n"
      "Files of sf: and xf: are regular files of at most 256 MiB.\n"
      "Output of call: one JSON line; exit 0 success, 1 the method failed, 2 usage error.\n"
      "Batch input: one JSON array of strings a line, e.g. [\"FNum\",\"s:1, 2\"], up to 64 MiB;\n"
      "           one answer line each; exit 0 all succeeded, 1 one failed or was refused,\n"
      "           2 usage error or standard input unreadable.\n"
      "Hosts: PELMO_AFFILIATE_HOST, PELMO_SHOPNAV_DOMAIN, PELMO_LOTTERY_HOST, PELMO_NEWS_HOST\n"
      "Fetch cache (off by default): PELMO_FETCH_CACHE_SECONDS, PELMO_FETCH_STALE_SECONDS,\n"
      "           PELMO_FETCH_CACHE_MB\n"
      "Internal addresses: PELMO_FETCH_PRIVATE_ADDRESSES=allow|deny (default allow)\n"
      "Events: PELMO_EVENT_LOG_LEVEL (0 off, 1 errors, 2 warnings, 3 information; 2)\n";
  if (with_local_commands) text += "           PELMO_LOG=stderr writes them to standard error\n";
  text +=
      "Probe: one JSON check a line in FILE (see docs/probes.md); exit 0 OK, 1 WARNING,\n"
      "           2 CRITICAL, 3 UNKNOWN (also for a probe file or command line that cannot be "
      "used).\n";
  return text;
}

int run_command(const std::vector<std::string_view>& words, const CommandFace& face,
                std::ostream& out, std::ostream& err) {
  if (words.empty()) {
    err << face.usage;
    return 2;
  }
  const std::string_view command = words.front();
  const std::vector<std::string_view> rest(words.begin() + 1, words.end());
  if (command == "--help" || command == "-h") {
    out << face.usage;
    return 0;
  }
  if (command == "--version") {
    out << "pelmo " << PELMO_VERSION << "\n";
    return 0;
  }
  if (command == "methods") return run_methods(rest, face.connect, out, err);
  if (command == "help") return run_help(rest, out, err);
  if (command == "info") return run_info(rest, face.info_subject(), out, err);
  if (command == "batch") return run_batch(rest, face.connect, face.read_input, out, err);
  if (command == "call") return run_call(rest, face.connect, out, err);
  if (command == "probe") {
    return run_probe(
        rest, [&] { return make_target_caller(face.connect); }, out, err);
  }
  if (face.own_command) {
    if (const std::optional<int> status = face.own_command(words, out, err)) return *status;
  }
  err << "pelmo: unknown command: " << command << "\n" << face.usage;
  return 2;
}

}  // namespace pelmo::cli
