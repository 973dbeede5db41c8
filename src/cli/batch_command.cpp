#include "cli/batch_command.h"

#include <memory>
#include <new>
#include <optional>
#include <string>

#include "cli/arg_words.h"
#include "cli/call_command.h"
#include "cli/input_lines.h"
#include "cli/json_words.h"
#include "cli/json_writer.h"
#include "pelmo/error.h"
#include "pelmo/text.h"

namespace pelmo::cli {

namespace {

bool is_blank(std::string_view line) {
  return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

std::string line_too_long() {
  return "line longer than " + std::to_string(kMaxCallLineBytes >> 20) +
         " MiB, skipped up to its line feed (pass long texts as sf: or xf: files)";
}

void usage_answer(std::ostream& out, const std::string& message) {
  out << R"({"ok":false,"usage":)" << json_string(from_utf8(message)) << "}\n" << std::flush;
}

MethodCall parse_line(const std::vector<MethodShape>& methods, std::string_view line) {
  const std::vector<std::string> words = parse_json_words(line);
  const std::vector<std::string_view> views(words.begin(), words.end());
  return parse_method_call(methods, views);
}

}  // namespace

int run_batch(const std::vector<std::string_view>& words, const ConnectTarget& connect,
              const LineReader::Read& read, std::ostream& out, std::ostream& err) {
  PageOptions options;
  std::unique_ptr<CallTarget> target;
  try {
    const std::size_t taken = parse_page_options(words, options);
    if (taken != words.size()) {
      throw UsageError("batch reads its calls from standard input, not: " +
                       std::string(words[taken]));
    }
    target = connect();
  } catch (const UsageError& e) {
    err << "pelmo: " << e.what() << "\n";
    return 2;
  } catch (const TargetError& e) {
    err << "pelmo: " << e.what() << "\n";
    return 2;
  }
  warn_ignored_settings(err);

  // When the object cannot be set up, every call reports that failure, as `call` would.
  bool opened = false;
  std::optional<AutomationError> setup_failure;
  try {
    target->open(options);
    opened = true;
  } catch (const AutomationError& e) {
    setup_failure = e;
  } catch (const std::bad_alloc&) {
    setup_failure = AutomationError(err::kOutOfMemory, "Out of memory");
  }

  int status = 0;
  LineReader lines(read, kMaxCallLineBytes);
  try {
    for (std::string line;;) {
      const LineReader::Next next = lines.next(line);
      if (next == LineReader::Next::End) break;
      if (next == LineReader::Next::TooLong) {
        usage_answer(out, line_too_long());
        status = 1;
        continue;
      }
      if (is_blank(line)) continue;
      MethodCall call;
      try {
        call = parse_line(target->methods(), line);
      } catch (const UsageError& e) {
        usage_answer(out, e.what());
        status = 1;
        continue;
      }
      if (setup_failure) {
        write_failure(out, setup_failure->number(), setup_failure->description(), call.args);
        out << "\n";
        status = 1;
      } else if (call_and_report(*target, call, out) != 0) {
        status = 1;
      }
      out << std::flush;
    }
  } catch (const InputError& e) {
    // The calls not read are lost, so the session cannot count as finished.
    err << "pelmo: " << e.what() << "\n";
    status = 2;
  }
  if (opened) target->close();
  return status;
}

}  // namespace pelmo::cli
