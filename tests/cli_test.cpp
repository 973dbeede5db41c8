#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <new>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "cli/arg_words.h"
#include "cli/call_command.h"
#include "cli/command_line.h"
#include "cli/demo_site.h"
#include "cli/info_command.h"
#include "cli/input_lines.h"
#include "cli/json_string.h"
#include "cli/json_writer.h"
#include "config/fetch_cache_settings.h"
#include "config/outside_hosts.h"
#include "config/setting_catalogue.h"
#include "extract/bounded_matcher.h"
#include "extract/marker_program.h"
#include "fetch/fetch_cache.h"
#include "host/http_limits.h"
#include "pelmo/catalogue.h"
#include "pelmo/error.h"
#include "pelmo/identity.h"
#include "pelmo/text.h"

// The sanitizers reserve far more address space than a memory limit of a test leaves.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PELMO_TEST_UNDER_SANITIZER
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PELMO_TEST_UNDER_SANITIZER
#endif
#endif
#ifdef PELMO_TEST_UNDER_SANITIZER
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif

#include "support/loopback_server.h"

namespace pelmo::cli {
namespace {

TEST(ArgWords, EveryKindOfWord) {
  EXPECT_EQ(parse_arg_word("empty"), Variant());
  EXPECT_EQ(parse_arg_word("null"), Variant::null());
  EXPECT_EQ(parse_arg_word("s:"), text(u""));
  EXPECT_EQ(parse_arg_word("s:\xE4\xBD\xA0:x"), text(u"\u4F60:x"));
  // Ill-formed UTF-8, an overlong "/" and an encoded surrogate, is one U+FFFD per byte.
  EXPECT_EQ(parse_arg_word("s:\xC0\xAF."), text(u"\uFFFD\uFFFD."));
  EXPECT_EQ(parse_arg_word("s:\xED\xA0\x80"), text(u"\uFFFD\uFFFD\uFFFD"));
  EXPECT_EQ(parse_arg_word("u:0041D800"), text(u"A\xD800"));
  EXPECT_EQ(parse_arg_word("n:-0.5"), Variant::number(-0.5));
  EXPECT_EQ(parse_arg_word("i:-32768"), Variant::integer(-32768));
  EXPECT_EQ(parse_arg_word("i:32767"), Variant::integer(32767));
  EXPECT_EQ(parse_arg_word("l:1500"), Variant::long_(1500));
  EXPECT_EQ(parse_arg_word("l:2147483647"), Variant::long_(2147483647));
  EXPECT_EQ(parse_arg_word("b:true"), Variant::boolean(true));
  EXPECT_EQ(parse_arg_word("x:"), Variant::bytes({}));
  EXPECT_EQ(parse_arg_word("x:C4e3"), Variant::bytes({0xC4, 0xE3}));
}

TEST(ArgWords, FilesAreReadWholeWithTheirByteOrderMark) {
  const std::string path =
      ::testing::TempDir() + "pelmo_arg_word_" + std::to_string(getpid()) + ".txt";
  std::ofstream(path, std::ios::binary) << "\xEF\xBB\xBF"
                                           "a\r\nb";
  EXPECT_EQ(parse_arg_word("sf:" + path), text(u"\uFEFFa\r\nb"));
  EXPECT_EQ(parse_arg_word("xf:" + path), Variant::bytes({0xEF, 0xBB, 0xBF, 'a', '\r', '\n', 'b'}));
  // Only regular files up to the cap, refused before reading: a device, a pipe nobody writes
  // (opening it would wait), a (sparse) file one byte over the cap.
  const std::string fifo = path + ".fifo", large = path + ".large";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::ofstream{large};
  std::filesystem::resize_file(large, kMaxArgumentFileBytes + 1);
  for (const std::string& refused :
       {std::string("sf:/nonexistent/pelmo"), std::string("xf:/dev/zero"), "sf:" + fifo,
        "xf:" + fifo, "sf:" + large}) {
    EXPECT_THROW(parse_arg_word(refused), UsageError) << refused;
  }
  for (const std::string& made : {path, fifo, large}) std::remove(made.c_str());
}

TEST(ArgWords, MalformedWordsAreUsageErrors) {
  for (const char* bad :
       {"", "text", "S:x", "u:004", "u:00G1", "x:abc", "x:zz", "n:", "n:1x", "n:inf", "i:32768",
        "i:-32769", "i:1.5", "l:2147483648", "l:-2147483649", "b:yes"}) {
    EXPECT_THROW(parse_arg_word(bad), UsageError) << bad;
  }
}

TEST(JsonWriter, VariantsAndOutcomes) {
  EXPECT_EQ(json_string(u"a\"\\\n\u4F60\xDC00"), R"("a\"\\\u000a\u4f60\udc00")");
  // Every control character is escaped (a raw one would make the line invalid JSON), DEL too.
  std::u16string controls;
  std::string escaped = "\"";
  for (char16_t c = 0; c < 0x20; ++c) {
    controls += c;
    escaped += "\\u00" + std::string{"01"[c >> 4], "0123456789abcdef"[c & 0xF]};
  }
  EXPECT_EQ(json_string(controls + u"\x7F "), escaped + "\\u007f \"");
  // Longer than the writer's buffer: written whole, in order, across its flushes.
  std::u16string long_text;
  for (int i = 0; i < 30000; ++i) long_text += static_cast<char16_t>(i % 2 == 0 ? u'a' : 0xE9);
  std::string long_json = "\"";
  for (int i = 0; i < 15000; ++i) long_json += "a\\u00e9";
  EXPECT_EQ(json_string(long_text), long_json + "\"");
  EXPECT_EQ(json_variant(Variant::number(0.5)), R"({"type":"Double","value":0.5})");
  EXPECT_EQ(json_variant(Variant::number(13)), R"({"type":"Double","value":13})");
  EXPECT_EQ(json_variant(Variant::bytes({0xC4, 0x0A})), R"({"type":"Bytes","hex":"c40a"})");
  EXPECT_EQ(
      json_variant(Variant::array({text(u"x"), Variant::integer(4)})),
      R"({"type":"Array","items":[{"type":"String","value":"x"},{"type":"Integer","value":4}]})");
  EXPECT_EQ(
      json_failure(94, "Invalid use of Null", {Variant::null()}),
      R"({"ok":false,"error":{"number":94,"description":"Invalid use of Null"},"args":[{"type":"Null"}]})");
}

TEST(CallOutcome, EveryFailureBecomesTheJsonLine) {
  const std::vector<Variant> args = {text(u"a")};
  const std::string tail = R"(,"args":[{"type":"String","value":"a"}]})";
  const std::pair<std::function<Variant()>, std::string> cases[] = {
      {[] { return Variant::integer(4); },
       R"({"ok":true,"result":{"type":"Integer","value":4})" + tail},
      {[]() -> Variant { throw AutomationError(94, "Invalid use of Null"); },
       R"({"ok":false,"error":{"number":94,"description":"Invalid use of Null"})" + tail},
      {[]() -> Variant { throw std::bad_alloc(); },
       R"({"ok":false,"error":{"number":7,"description":"Out of memory"})" + tail},
      {[]() -> Variant { throw std::length_error("too long"); },
       R"({"ok":false,"error":{"number":-2147418113,"description":"too long"})" + tail}};
  for (const auto& [call, json] : cases) {
    const CallOutcome outcome = call_outcome(call);
    std::ostringstream line;
    write_outcome(line, outcome, args);
    EXPECT_EQ(line.str(), json + "\n");
    EXPECT_EQ(outcome.status(), json.starts_with(R"({"ok":true)") ? 0 : 1) << json;
  }
}

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

// Runs the command with the arguments, `input` on its standard input (unless `shell_prefix`
// pipes into it) and `environment` ("NAME=VALUE ...") added to its environment, after the shell
// words of `shell_prefix`.
CliRun run_cli(const std::string& arguments, const std::string& input = {},
               const std::string& environment = {}, const std::string& shell_prefix = {}) {
  // Test processes run side by side: each call gets files of its own.
  static int calls = 0;
  const std::string base = ::testing::TempDir() + "pelmo_cli_" + std::to_string(getpid()) + "_" +
                           std::to_string(++calls);
  const std::string err_path = base + "_stderr.txt", in_path = base + "_stdin.txt";
  std::ofstream(in_path, std::ios::binary) << input;
  const std::string command = "(" + shell_prefix + "env " + environment + " " +
                              std::string(PELMO_CLI_PATH) + " " + arguments + ") <" + in_path +
                              " 2>" + err_path;
  CliRun run{};
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  run.status = WEXITSTATUS(pclose(pipe));
  std::ifstream err(err_path);
  run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
  std::remove(err_path.c_str());
  std::remove(in_path.c_str());
  return run;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(Command, SuccessPrintsOneJsonLineWithWriteBacks) {
  CliRun run = run_cli("call rm 's:say \"hi\"'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "{\"ok\":true,\"result\":{\"type\":\"String\",\"value\":\"say \\u201chi\\u201c\"},"
            "\"args\":[{\"type\":\"String\",\"value\":\"say \\u201chi\\u201c\"}]}\n");
  EXPECT_EQ(run.err, "");
}

TEST(Command, FailureExitsOneWithTheErrorAndTheArguments) {
  CliRun run = run_cli("call --no-page FNum null");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "{\"ok\":false,\"error\":{\"number\":94,\"description\":\"Invalid use of Null\"},"
            "\"args\":[{\"type\":\"Null\"}]}\n");
}

TEST(Command, UsageErrorsWriteOnlyToStandardError) {
  // A pipe no writer ever opens is refused at once; the time limit turns a wait into a failure.
  const std::string fifo = ::testing::TempDir() + "pelmo_cli_fifo_" + std::to_string(getpid());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& bad : std::vector<std::string>{"",
                                                         "call",
                                                         "call Rm",
                                                         "call Rm s:a s:b",
                                                         "call OnStartPage empty",
                                                         "call NoSuch",
                                                         "call Rm bogus",
                                                         "call --bogus Rm s:a",
                                                         "frobnicate",
                                                         "call --request-method",
                                                         "call Emailis sf:/",
                                                         "call Emailis xf:/",
                                                         "call Emailis sf:/nonexistent/x",
                                                         "call Emailis sf:" + fifo,
                                                         "call Bq_x xf:" + fifo,
                                                         "methods --bogus",
                                                         "help NoSuch",
                                                         "help Rm Ltxt",
                                                         "info --text",
                                                         "info --json x"}) {
    CliRun run = run_cli(bad, {}, {}, "timeout 20 ");
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_EQ(run.out, "") << bad;
    EXPECT_NE(run.err, "") << bad;
  }
  std::remove(fifo.c_str());
}

// An object the command cannot reach at all (pelmo.exe's unregistered module) is a usage error
// of the installation for every command that needs the object; help needs none.
TEST(Command, UnreachableObjectIsAUsageErrorOfEveryCommandThatNeedsIt) {
  const ConnectTarget unreachable = []() -> std::unique_ptr<CallTarget> {
    throw TargetError("pelmo.zaverer is not registered for 64-bit programs");
  };
  const LineReader::Read no_input = [](char*, std::size_t) -> std::size_t { return 0; };
  const CommandFace face{"usage\n", unreachable, no_input, nullptr, nullptr};
  for (const std::vector<std::string_view>& words :
       std::vector<std::vector<std::string_view>>{{"call", "FNum", "s:1"},
                                                  {"call", "--no-page", "Rm", "s:a"},
                                                  {"batch"},
                                                  {"methods"},
                                                  {"methods", "--text"}}) {
    std::ostringstream out, err;
    EXPECT_EQ(run_command(words, face, out, err), 2) << words[0];
    EXPECT_EQ(out.str(), "") << words[0];
    EXPECT_EQ(err.str(), "pelmo: pelmo.zaverer is not registered for 64-bit programs\n");
  }
  std::ostringstream out, err;
  EXPECT_EQ(run_command({"help", "FNum"}, face, out, err), 0);
  EXPECT_NE(out.str(), "");
}

TEST(Command, LongAnswersAreWrittenWhole) {
  // Many times the writer's buffer once escaped, through the command's own standard output.
  const std::string path = ::testing::TempDir() + "pelmo_cli_long_" + std::to_string(getpid());
  std::ofstream(path, std::ios::binary) << std::string(100000, '\0');
  const CliRun run = run_cli("call Ltxt sf:" + path);
  std::string nuls;
  for (int i = 0; i < 100000; ++i) nuls += "\\u0000";
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.out == R"({"ok":true,"result":{"type":"String","value":")" + nuls +
                             R"("},"args":[{"type":"String","value":")" + nuls + "\"}]}\n")
      << run.out.size();
  std::remove(path.c_str());
}

TEST(Command, RunningOutOfMemoryIsErrorSeven) {
  if (kUnderSanitizer)
    GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
  // Twenty thousand empty blocks joined by a 20,000-character separator: 800 MB of text that
  // cannot fit under a 256 MiB address-space limit, while the command itself needs far less.
  std::string blocks, separator(20000, '-');
  for (int i = 0; i < 20000; ++i) blocks += "ab";
  const std::string arguments =
      "call D1616_body2s s:" + blocks + " s:a s:b s:" + separator + " b:true";
  CliRun run = run_cli(arguments, {}, {}, "ulimit -v 262144; ");
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_TRUE(run.out.starts_with(
      R"({"ok":false,"error":{"number":7,"description":"Out of memory"},"args":[)"))
      << run.out.substr(0, 200);
  EXPECT_EQ(run.err, "");
}

TEST(Command, MethodsListsTheSlotsAndHelpAndVersionAnswer) {
  CliRun run = run_cli("methods");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.substr(0, 33), "1 OnStartPage PassedscriptContext");
  EXPECT_NE(run.out.find("\n17 isPb\n"), std::string::npos);
  EXPECT_NE(run.out.find("\n21 D1616_m v1 v2 v3 v4 v5 v6 v7 v8 v9 v10\n"), std::string::npos);
  EXPECT_TRUE(run.out.ends_with("\n30 Bq_x v1\n31 OnEndPage\n"));
  EXPECT_EQ(run_cli("--version").out, "pelmo " PELMO_VERSION "\n");
  EXPECT_EQ(run_cli("--help").status, 0);

  // For people: each method with its summary, from `methods --text` and `help` alike.
  const CliRun text = run_cli("methods --text");
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(lines_of(text.out).size(), 2 * catalogue().size());
  EXPECT_NE(text.out.find("\n21 D1616_m(v1, v2, v3, v4, v5, v6, v7, v8, v9, v10)\n     Gives the "),
            std::string::npos);
  EXPECT_TRUE(run_cli("help").out.starts_with(text.out));
  const CliRun section = run_cli("help d1616_getcontent");
  EXPECT_EQ(section.status, 0);
  EXPECT_TRUE(section.out.starts_with("D1616_GetContent\n================\n\nCuts one piece"))
      << section.out.substr(0, 100);
  EXPECT_NE(section.out.find("| 9 | after the first character of the last A |"), std::string::npos);
  EXPECT_EQ(section.out.find("```"), std::string::npos) << "code blocks come out indented";
}

// The text form's rows are pinned by README's example; here the JSON form, read by a real JSON
// parser, and the module's facts as a platform hands them over.
TEST(Command, InfoGivesEverySettingItsValueAndSource) {
  const std::string defaults = "-u PELMO_FETCH_CACHE_SECONDS -u PELMO_FETCH_STALE_SECONDS ";
  const struct {
    std::string environment;
    std::map<std::string, std::string> shown;  // setting: "value source rejected-text"
  } cases[] = {
      {"PELMO_FETCH_CACHE_MB=' 0012 '",
       {{"PELMO_FETCH_CACHE_MB", "12 environment -"},
        {"PELMO_FETCH_CACHE_SECONDS", "0 default -"}}},
      {"PELMO_FETCH_STALE_SECONDS=-1 PELMO_NEWS_HOST=127.0.0.1:9",
       {{"PELMO_FETCH_STALE_SECONDS", "0 default -1"},
        {"PELMO_NEWS_HOST", "127.0.0.1:9 environment -"}}},
      {"PELMO_FETCH_CACHE_MB=1048577 PELMO_LOTTERY_HOST=",
       {{"PELMO_FETCH_CACHE_MB", "64 default 1048577"},
        {"PELMO_LOTTERY_HOST",
         std::string(setting_row("PELMO_LOTTERY_HOST").default_value) + " default -"}}},
  };
  const std::string json_path = ::testing::TempDir() + "pelmo_info_" + std::to_string(getpid());
  for (const auto& c : cases) {
    const CliRun run = run_cli("info --json", {}, defaults + c.environment);
    ASSERT_EQ(run.status, 0) << run.err;
    std::ofstream(json_path, std::ios::binary) << run.out;
    const std::string read =
        "python3 -c 'import json, sys\n"
        "d = json.load(open(sys.argv[1]))\n"
        "assert d[\"command\"] == \"pelmo\" and d[\"module\"] is None and d[\"registry\"] is None\n"
        "for name, s in d[\"settings\"].items():\n"
        "  print(name, s[\"value\"], s[\"source\"], (s[\"invalid\"] or {\"text\": "
        "\"-\"})[\"text\"])' " +
        json_path;
    FILE* pipe = popen(read.c_str(), "r");
    std::string lines;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) lines.append(buffer, n);
    ASSERT_EQ(WEXITSTATUS(pclose(pipe)), 0) << run.out;
    std::map<std::string, std::string> shown;
    for (const std::string& line : lines_of(lines)) {
      shown[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
    }
    EXPECT_EQ(shown.size(), setting_catalogue().size()) << lines;
    for (const SettingRow& row : setting_catalogue()) {
      EXPECT_TRUE(shown.contains(std::string(row.environment))) << row.environment;
    }
    for (const auto& [name, expected] : c.shown) {
      EXPECT_EQ(shown[name], expected) << c.environment;
    }
  }
  std::remove(json_path.c_str());

  // For people: a control character cannot reach the terminal, and one long value overflows its
  // own row instead of widening every row.
  const std::string long_host(60, 'h');
  const CliRun shown = run_cli("info", {},
                               defaults +
                                   "PELMO_FETCH_CACHE_MB=64 PELMO_NEWS_HOST=\"$(printf "
                                   "'a\\033b')\" PELMO_AFFILIATE_HOST=" +
                                   long_host);
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.out.find('\x1b'), std::string::npos);
  for (const std::string& row :
       {"  PELMO_NEWS_HOST                a\\x1bb" + std::string(28, ' ') + "environment\n",
        "  PELMO_AFFILIATE_HOST           " + long_host + "  environment\n",
        "  PELMO_FETCH_CACHE_MB           64 MiB" + std::string(28, ' ') + "environment\n"}) {
    EXPECT_NE(shown.out.find("\n" + row), std::string::npos) << row << shown.out;
  }

  const InfoSubject registered{
      "9.9", std::vector<InfoField>{{"file_version", "9.9.0.0"}, {"threading_model", "Apartment"}}};
  std::ostringstream text, json, err;
  EXPECT_EQ(run_info({}, registered, text, err), 0);
  EXPECT_EQ(run_info({"--json"}, registered, json, err), 0);
  EXPECT_TRUE(text.str().starts_with(
      "pelmo 9.9\n\nmodule\n  file version     9.9.0.0\n  threading model  Apartment\n\n"))
      << text.str();
  EXPECT_TRUE(json.str().starts_with(
      R"({"command":"pelmo","version":"9.9","module":{"file_version":"9.9.0.0","threading_model":"Apartment"},)"))
      << json.str();
}

// Every command example of the method reference and of README, "$ [NAME=VALUE ...] pelmo ..." in
// a code block (fenced, or indented by four spaces) with its output on the lines after it, prints
// exactly that output. Each runs with the build's default hosts and the settings of its own line,
// the fetch cache off, in a folder that holds the sample site's link text as links.js; PORT is
// the port of the `pelmo demo` site.
TEST(Command, EveryExampleOfTheDocsPrintsWhatItShows) {
  DemoSite site;
  const std::string port = std::to_string(site.port());
  const std::string folder = ::testing::TempDir() + "pelmo_docs_" + std::to_string(getpid());
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/links.js", std::ios::binary)
      << to_utf8(DemoSite::affiliate_link_text(from_utf8("127.0.0.1:" + port)));
  const std::string defaults =
      "-u PELMO_FETCH_CACHE_SECONDS -u PELMO_FETCH_STALE_SECONDS -u PELMO_FETCH_CACHE_MB "
      "-u PELMO_FETCH_PRIVATE_ADDRESSES "
      "-u PELMO_AFFILIATE_HOST -u PELMO_NEWS_HOST -u PELMO_LOTTERY_HOST -u PELMO_SHOPNAV_DOMAIN ";
  const std::regex example_line(R"(\$ ((?:[A-Z_]+=\S+ )*)pelmo (.*))"), fence(" *```.*"),
      port_word("PORT"), site_port(":" + port + "/");
  int examples = 0;
  for (const std::string doc : {"docs/methods.md", "README.md", "docs/operating.md"}) {
    std::ifstream in(std::string(PELMO_SOURCE_DIR) + "/" + doc);
    std::string settings, command, shown, where, line;
    auto check = [&] {
      if (command.empty()) return;
      const CliRun run = run_cli(std::regex_replace(command, port_word, port), {},
                                 defaults + std::regex_replace(settings, port_word, port),
                                 "cd '" + folder + "' && ");
      EXPECT_EQ(std::regex_replace(run.out, site_port, ":PORT/"), shown) << where << run.err;
      command.clear();
      ++examples;
    };
    bool in_fence = false;
    std::smatch example;
    for (int number = 1; std::getline(in, line); ++number) {
      const bool is_fence = std::regex_match(line, fence);
      const bool indented = !in_fence && !is_fence && line.starts_with("    ");
      if (indented) line.erase(0, 4);
      const bool code = (in_fence && !is_fence) || indented;
      if (!code || line.starts_with("$ ")) check();
      in_fence = in_fence != is_fence;
      if (code && std::regex_match(line, example, example_line)) {
        settings = example[1];
        command = example[2];
        shown.clear();
        where = doc + ":" + std::to_string(number) + ": " + line + "\n";
      } else if (code && !command.empty()) {
        shown += line + "\n";
      }
    }
    check();
  }
  EXPECT_GT(examples, 31);
  std::filesystem::remove_all(folder);
}

// The text of a document (a file of the sources, or "usage" for `pelmo --help`) with every run of
// blanks and line breaks as one space, so a stated number may wrap.
std::string document_text(const std::string& doc) {
  std::string text;
  if (doc == "usage") {
    text = run_cli("--help").out;
  } else {
    std::ifstream in(std::string(PELMO_SOURCE_DIR) + "/" + doc);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return std::regex_replace(text, std::regex(R"(\s+)"), " ");
}

// 100000000 as "100,000,000".
std::string grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

// The outside hosts of this build, with no setting in the way.
OutsideHosts default_hosts() {
  std::vector<std::pair<const char*, std::string>> saved;
  for (const char* name :
       {"PELMO_AFFILIATE_HOST", "PELMO_SHOPNAV_DOMAIN", "PELMO_LOTTERY_HOST", "PELMO_NEWS_HOST"}) {
    if (const char* value = std::getenv(name)) saved.emplace_back(name, value);
    unsetenv(name);
  }
  OutsideHosts hosts = outside_hosts();
  for (const auto& [name, value] : saved) setenv(name, value.c_str(), 1);
  return hosts;
}

// Every limit and default the documents state, built from the constant it must equal: changing
// a constant fails here until every document that states it says the new number.
TEST(Docs, StateEveryLimitAndDefaultAsTheCodeHasIt) {
  using std::to_string;
  const host::HttpLimits http;
  const FetchCacheSettings cache;
  const OutsideHosts hosts = default_hosts();
  const auto mib = [](std::size_t bytes) { return to_string(bytes >> 20) + " MiB"; };
  const std::string deadline = to_string(http.total_timeout_ms / 1000) + " s",
                    connect = to_string(http.connect_timeout_ms / 1000) + " s",
                    idle = to_string(http.low_speed_seconds) + " s",
                    redirects = to_string(http.max_redirects), body = mib(http.max_body_bytes),
                    wait = to_string(fetch::FetchCache::kDefaultWaitLimit.count() / 1000) + " s",
                    rest = to_string(fetch::FetchCache::kStaleRetryInterval.count()),
                    file_cap = mib(kMaxArgumentFileBytes), line_cap = mib(kMaxCallLineBytes),
                    seconds = "0 to " + to_string(kMaxFetchCacheSeconds),
                    megabytes = "0 to " + to_string(kMaxFetchCacheMegabytes64),
                    megabytes32 = to_string(kMaxFetchCacheMegabytes32),
                    size = to_string(cache.megabytes);
  auto host_row = [](std::string_view variable, std::string_view value, std::u16string_view host,
                     std::string_view unit) {
    return "| `" + std::string(variable) + "` | `" + std::string(value) + "` | " +
           std::string(unit) + " | `" + to_utf8(host) + "` |";
  };
  const std::vector<std::pair<std::string, std::string>> stated = {
      {"docs/operating.md", "| Whole fetch | " + deadline + " |"},
      {"docs/operating.md", "| Connecting | " + connect + " |"},
      {"docs/operating.md", "| Without data | " + idle + " |"},
      {"docs/operating.md", "| Redirects | " + redirects + " |"},
      {"docs/operating.md", "| Body | " + body + " |"},
      {"docs/operating.md", "| Waiting for another call's fetch | " + wait + " |"},
      {"docs/operating.md", "| Rest after a failed refresh | " + rest + " s |"},
      {"docs/operating.md", "| Matcher work | " + grouped(extract::kMatchBudget) + " steps |"},
      {"docs/operating.md",
       "| Matcher program | " + grouped(extract::kMaxProgramSize) + " instructions |"},
      {"docs/operating.md", "| `sf:` and `xf:` files | " + file_cap + " |"},
      {"docs/operating.md", "| Batch line | " + line_cap + " |"},
      {"docs/operating.md",
       "| Fetch cache size | " + megabytes + " MiB (" + megabytes32 + " in the 32-bit module) |"},
      {"docs/operating.md", "fetch: more than " + redirects + " redirects"},
      {"docs/operating.md", "fetch: a body over " + body},
      {"docs/operating.md", "or " + wait + " waiting for the cache"},
      {"docs/operating.md", host_row("PELMO_AFFILIATE_HOST", "AffiliateHost", hosts.affiliate,
                                     "host, optional `:port`")},
      {"docs/operating.md", host_row("PELMO_SHOPNAV_DOMAIN", "ShopnavDomain", hosts.shopnav_domain,
                                     "domain, optional `:port`")},
      {"docs/operating.md",
       host_row("PELMO_LOTTERY_HOST", "LotteryHost", hosts.lottery, "host, optional `:port`")},
      {"docs/operating.md",
       host_row("PELMO_NEWS_HOST", "NewsHost", hosts.news, "host, optional `:port`")},
      {"docs/operating.md", "| `PELMO_FETCH_CACHE_SECONDS` | `FetchCacheSeconds` | seconds | `" +
                                to_string(cache.fresh_seconds) + "` (the cache is off) | " +
                                seconds + " |"},
      {"docs/operating.md", "| `PELMO_FETCH_STALE_SECONDS` | `FetchStaleSeconds` | seconds | `" +
                                to_string(cache.stale_seconds) + "` | " + seconds + " |"},
      {"docs/operating.md", "| `PELMO_FETCH_CACHE_MB` | `FetchCacheMegabytes` | MiB | `" + size +
                                "` | " + megabytes + " (" + megabytes32 +
                                " in the 32-bit module) |"},
      {"docs/operating.md", "whole number from 0 to " + to_string(kMaxFetchCacheSeconds) +
                                "; ignored, " + to_string(cache.fresh_seconds) + " used"},
      {"README.md", "at most " + redirects + " redirects"},
      {"README.md", connect + " to connect, " + deadline + " for the whole transfer"},
      {"README.md", "no data for " + idle},
      {"README.md", "bodies over " + body},
      {"README.md", "(" + wait + " at most,"},
      {"README.md", "for the next " + rest + " seconds"},
      {"README.md",
       "`" + to_string(cache.fresh_seconds) + "` (off) | cache time in seconds, " + seconds + " |"},
      {"README.md",
       "`" + to_string(cache.stale_seconds) + "` | stale time in seconds, " + seconds + " |"},
      {"README.md",
       "`" + size + "` | size in MiB, " + megabytes + " (" + megabytes32 + " in the 32-bit DLL) |"},
      {"README.md", "regular files of at most " + file_cap},
      {"README.md", "A line may hold at most " + line_cap},
      {"docs/methods.md", "at most " + redirects + " redirects, " + connect + " to connect, " +
                              deadline + " for the whole transfer and " + idle +
                              " without data, bodies up to " + body},
      {"docs/methods.md",
       deadline + " for the whole fetch, " + idle + " without data, or " + wait + " waiting"},
      {"docs/methods.md", "47 more than " + redirects + " redirects, 63 a body over " + body},
      {"docs/methods.md", "(" + wait + " at most, then error"},
      {"docs/methods.md", "for the next " + rest + " seconds"},
      {"docs/methods.md", "(up to " + file_cap + ")"},
      {"com/README.md", "at most " + redirects + ", and only to"},
      {"com/README.md", "one deadline of " + deadline + " for the whole fetch"},
      {"com/README.md", "connecting, at most " + connect},
      {"com/README.md", "no data for " + idle + " ends"},
      {"com/README.md", "over " + body + " fails at once"},
      {"com/README.md", "file and product version " PELMO_VERSION ".0"},
      {"docs/pelmo.1.in",
       "is reused, " + seconds + " seconds; " + to_string(cache.fresh_seconds) + ", the default"},
      {"docs/pelmo.1.in", to_string(cache.stale_seconds) + " (the default) to " +
                              to_string(kMaxFetchCacheSeconds) + " seconds"},
      {"docs/pelmo.1.in", megabytes + " MiB (default " + size + ")"},
      {"docs/pelmo.1.in", "holds more than " + file_cap},
      {"docs/pelmo.1.in", "longer than " + line_cap},
      {"usage", "at most " + file_cap},
      {"usage", "up to " + line_cap},
  };
  std::map<std::string, std::string> texts;
  for (const auto& [doc, phrase] : stated) {
    if (!texts.contains(doc)) texts[doc] = document_text(doc);
    EXPECT_NE(texts[doc].find(phrase), std::string::npos) << doc << " does not say: " << phrase;
  }

  // Each error number of the operator's table in decimal and hex from the same value.
  const std::string& operating = texts["docs/operating.md"];
  char row[96];
  for (const std::int32_t n : {5, 6, 7, 9, 11, 13, 28, 91, 94, 424, 429, 3001, 5017}) {
    std::snprintf(row, sizeof row, "| %d | `0x%08X` | `0x800A0000 \\| %d` |", n,
                  0x800A0000u | static_cast<std::uint32_t>(n), n);
    EXPECT_NE(operating.find(row), std::string::npos) << row;
  }
  for (const std::int32_t n : {1, 3, 6, 7, 18, 28, 47, 63}) {
    std::snprintf(row, sizeof row, "| %d | `0x%08X` | `0x800C0000 + %d` |", err::kHttpBase + n,
                  static_cast<std::uint32_t>(err::kHttpBase + n), n);
    EXPECT_NE(operating.find(row), std::string::npos) << row;
  }
  EXPECT_NE(operating.find("`" + to_string(err::kHttpBase) + " + n`"), std::string::npos);

  // Package names in examples carry this version, and the module's identity repeats it.
  const std::regex package_name(R"(pelmo[-_](\d+\.\d+\.\d+)[-_])");
  for (const std::string doc : {"README.md", "com/README.md", "docs/operating.md"}) {
    const std::string& text = texts.contains(doc) ? texts[doc] : texts[doc] = document_text(doc);
    for (std::sregex_iterator it(text.begin(), text.end(), package_name), end; it != end; ++it) {
      EXPECT_EQ((*it)[1], PELMO_VERSION) << doc << ": " << (*it)[0];
    }
  }
  EXPECT_EQ(identity::kModuleVersion, PELMO_VERSION ".0");
}

TEST(Command, DemoWalksEveryScraperAgainstItsOwnSite) {
  CliRun run = run_cli("demo");
  EXPECT_EQ(run.status, 0) << run.out;
  for (const char* expected :
       {"(D1616_Tuan_Smain)\n{\r\n\"count\": \"192\",", "[1] Integer 5",
        "&wid=71234&uid=ue-5678\"]]", "<span class='b'><a href='http://shop6.example/'",
        "typeid=7)  order by", "\ndemo finished\n"}) {
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected;
  }
  EXPECT_EQ(run.out.find("error "), std::string::npos);
}

TEST(Batch, AnswersEachLineAsCallWouldAndGoesOnAfterRefusedOnes) {
  const std::string usage = R"({"ok":false,"usage":)";
  const struct {
    const char* line;
    const char* answer;  // the whole line, or how a usage line goes on
  } calls[] = {
      {R"(["rm","s:say \"hi\""])", nullptr},  // as `call` answers it, below
      {"", nullptr},                          // skipped
      {R"( [ "FNum" , "null" ] )",
       R"({"ok":false,"error":{"number":94,"description":"Invalid use of Null"},"args":[{"type":"Null"}]})"},
      {R"(["Rm","s:\u00e9\ud83d\ude00\/\t"])",
       R"({"ok":true,"result":{"type":"String","value":"\u00e9\ud83d\ude00/\u0009"},"args":[{"type":"String","value":"\u00e9\ud83d\ude00/\u0009"}]})"},
      {R"(["Rm","s:\u00C9\uD83D\uDE00"])",  // upper-case hex digits read the same
       R"({"ok":true,"result":{"type":"String","value":"\u00c9\ud83d\ude00"},"args":[{"type":"String","value":"\u00c9\ud83d\ude00"}]})"},
      {"[1]", R"("not a JSON array of strings: expected a string at column 2"})"},
      {R"(["Rm","s:a"] x)", R"("not a JSON array of strings: text after the array at column 14"})"},
      {R"(["Rm","s:\ud800"])",
       R"("not a JSON array of strings: lone surrogate (write such text as u:HHHH) at column 16"})"},
      {R"(["Rm","s:\x"])", R"("not a JSON array of strings: bad escape at column 11"})"},
      {"[\"Rm\",\"s:\ta\"]",
       R"("not a JSON array of strings: control character in a string at column 11"})"},
      {R"(["Rm","s:a)", R"("not a JSON array of strings: unterminated string at column 11"})"},
      {"[]", R"("call needs a method name"})"},
      {R"(["NoSuch"])", R"("no such method: NoSuch"})"},
      {R"(["OnEndPage"])", R"("OnEndPage is a page hook, not callable this way"})"},
      {R"(["Rm","s:a","s:b"])", R"("Rm takes 1 argument(s), 2 given"})"},
      {R"(["Rm","bogus"])", nullptr},  // the word's own message
      {R"(["FNum","s:1, 2"])",
       R"({"ok":true,"result":{"type":"String","value":"1,2"},"args":[{"type":"String","value":"1,2"}]})"},
  };
  std::string input;
  for (const auto& c : calls) input += std::string(c.line) + "\n";
  const CliRun run = run_cli("batch", input);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> answers = lines_of(run.out);
  ASSERT_EQ(answers.size(), std::size(calls) - 1) << run.out;
  EXPECT_EQ(answers[0] + "\n", run_cli("call rm 's:say \"hi\"'").out);
  for (std::size_t i = 2; i < std::size(calls); ++i) {
    const std::string& answer = answers[i - 1];
    if (calls[i].answer == nullptr) {
      EXPECT_TRUE(answer.starts_with(usage)) << calls[i].line << " -> " << answer;
    } else if (calls[i].answer[0] == '"') {
      EXPECT_EQ(answer, usage + calls[i].answer) << calls[i].line;
    } else {
      EXPECT_EQ(answer, calls[i].answer) << calls[i].line;
    }
  }

  // Every call succeeding exits 0, and a refused line makes it 1 even when every call succeeded;
  // the command line's own faults exit 2 before any call.
  EXPECT_EQ(run_cli("batch --no-page", "[\"FNum\",\"s:1\"]\n\n").status, 0);
  EXPECT_EQ(run_cli("batch --no-page", "[\"FNum\",\"s:1\"]\n[\"NoSuch\"]\n").status, 1);
  for (const char* bad : {"batch extra", "batch --request-method", "batch --bogus"}) {
    const CliRun refused = run_cli(bad, "[\"FNum\",\"s:1\"]\n");
    EXPECT_EQ(refused.status, 2) << bad;
    EXPECT_EQ(refused.out, "") << bad;
  }
}

// One reader of JSON strings serves the batch line and the probe file: the same text from the
// same escapes, a fault named where it is, and a lone surrogate refused in a call's word but
// U+FFFD in a probe file's text (which is only compared), the unit after it kept.
TEST(JsonString, BothReadersReadEscapesAlikeAndDifferOnlyOnLoneSurrogates) {
  const struct {
    const char* json;
    const char* refused;   // the text, or "!fault@column" in a batch line
    const char* replaced;  // the same in a probe file, when it differs
  } rows[] = {
      {R"("a\"\\\/\b\f\n\r\t")", "a\"\\/\b\f\n\r\t", nullptr},
      {R"("\u00e9\u00C9\ud83d\uDE00\u4f60")", "\xC3\xA9\xC3\x89\xF0\x9F\x98\x80\xE4\xBD\xA0",
       nullptr},
      {R"("x\ud800")", "!lone surrogate (write such text as u:HHHH)@9", "x\xEF\xBF\xBD"},
      {R"("\udc00")", "!lone surrogate (write such text as u:HHHH)@8", "\xEF\xBF\xBD"},
      {R"("\ud800\u0041")", "!lone surrogate (write such text as u:HHHH)@14",
       "\xEF\xBF\xBD"
       "A"},
      {R"("\ud800\u00zz")", "!bad \\u escape@13", nullptr},
      {R"("\u12")", "!short \\u escape@4", nullptr},
  };
  auto read = [](std::string_view json, LoneSurrogate lone) {
    std::size_t at = 0;
    std::string text;
    const char* fault = read_json_string(json, at, lone, text);
    if (fault != nullptr) return "!" + std::string(fault) + "@" + std::to_string(at + 1);
    EXPECT_EQ(at, json.size()) << json;
    return text;
  };
  for (const auto& row : rows) {
    EXPECT_EQ(read(row.json, LoneSurrogate::kRefuse), row.refused) << row.json;
    EXPECT_EQ(read(row.json, LoneSurrogate::kReplace),
              row.replaced != nullptr ? row.replaced : row.refused)
        << row.json;
  }
}

// Lines are held to the reader's cap: a line of exactly the cap is taken, one byte more is
// refused and skipped to its line feed, and the line after it is read whole.
TEST(LineReader, TakesLinesUpToTheCapAndSkipsLongerOnes) {
  using Next = LineReader::Next;
  const struct {
    const char* input;
    std::vector<std::pair<Next, std::string>> lines;
  } cases[] = {
      {"abcd\nxy\n", {{Next::Line, "abcd"}, {Next::Line, "xy"}}},
      {"abcde\nxy\n", {{Next::TooLong, ""}, {Next::Line, "xy"}}},
      {"abcd", {{Next::Line, "abcd"}}},
      {"abcde", {{Next::TooLong, ""}}},
      {"abcdefghij\n\nz", {{Next::TooLong, ""}, {Next::Line, ""}, {Next::Line, "z"}}},
  };
  for (const auto& c : cases) {
    for (std::size_t piece : {1u, 3u, 64u}) {  // reads that end inside and between lines
      std::string_view rest = c.input;
      LineReader reader(
          [&](char* into, std::size_t room) {
            const std::size_t n = std::min({room, piece, rest.size()});
            rest.copy(into, n);
            rest.remove_prefix(n);
            return n;
          },
          4);
      std::string line;
      for (const auto& [next, text] : c.lines) {
        EXPECT_EQ(reader.next(line), next) << c.input << " in pieces of " << piece;
        EXPECT_EQ(line, text) << c.input << " in pieces of " << piece;
      }
      EXPECT_EQ(reader.next(line), Next::End) << c.input << " in pieces of " << piece;
    }
  }
}

TEST(Batch, CapsEachLine) {
  // 150 MB without a line feed, then a call: under a limit the whole line could not fit in, the
  // line is refused once and the call after it still answered.
  const std::string prefix =
      std::string(kUnderSanitizer ? "" : "ulimit -v 400000; ") +
      "{ head -c 150000000 /dev/zero; printf '\\n[\"FNum\",\"s:1\"]\\n'; } | ";
  const CliRun endless = run_cli("batch --no-page", {}, {}, prefix);
  EXPECT_EQ(endless.status, 1) << endless.err;
  const std::vector<std::string> answers = lines_of(endless.out);
  ASSERT_EQ(answers.size(), 2u) << endless.out.substr(0, 300);
  EXPECT_EQ(answers[0],
            R"x({"ok":false,"usage":"line longer than 64 MiB, skipped up to its line feed )x"
            R"x((pass long texts as sf: or xf: files)"})x");
  EXPECT_TRUE(answers[1].starts_with(R"({"ok":true,"result":{"type":"String","value":"1"})"));
}

// An outside site that counts the requests of each address.
class CountingSite {
 public:
  CountingSite() {
    server_.routes().Get(".*", [this](const httplib::Request& request, httplib::Response& res) {
      const int n = count(request.path);
      if (request.path == "/pause") {
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
      } else if (request.path.starts_with("/big/")) {
        res.set_content(std::string(600 * 1024, 'x'), "application/octet-stream");
        return;
      }
      if (request.path == "/missing") res.status = 404;
      if (request.path == "/broken" || (request.path == "/flaky" && n > 1)) res.status = 500;
      res.set_content("n" + std::to_string(n), "application/octet-stream");
    });
    server_.start();
  }

  int requests(const std::string& path) {
    std::lock_guard lock(mutex_);
    return counts_[path];
  }
  std::string call_line(const std::string& path) const {
    return R"(["Tarvessa_GetBody_s","s:)" + server_.url(path) + "\"]\n";
  }

 private:
  int count(const std::string& path) {
    std::lock_guard lock(mutex_);
    return ++counts_[path];
  }

  testing::LoopbackServer server_;
  std::mutex mutex_;
  std::map<std::string, int> counts_;
};

std::string hex_of(std::string_view text) {
  return json_variant(Variant::bytes(Bytes(text.begin(), text.end())));
}

TEST(Batch, TheFetchCacheKeepsSuccessfulBodiesForItsTimeWhenTurnedOn) {
  CountingSite site;
  const struct {
    const char* path;
    const char* body;  // what the call gives
  } calls[] = {
      {"/page", "n1"},     {"/page", "n1"},      // within the cache time: no request
      {"/missing", "n1"},  {"/missing", "n2"},   // a 404 answer is not kept
      {"/broken", "n1"},   {"/broken", "n2"},    // nor a 500 one
      {"/flaky", "n1"},    {"/pause", "n1"},     // the one-second cache time passes
      {"/page", "n2"},     {"/flaky", "n1"},     // after it one request; a 500 refresh: stale copy
      {"/big/a", nullptr}, {"/big/b", nullptr},  // two 600 KiB bodies do not fit in 1 MB
      {"/big/a", nullptr},
  };
  std::string input;
  for (const auto& c : calls) input += site.call_line(c.path);
  const CliRun run = run_cli("batch --no-page", input,
                             "PELMO_FETCH_CACHE_SECONDS=1 PELMO_FETCH_STALE_SECONDS=60 "
                             "PELMO_FETCH_CACHE_MB=1");
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> answers = lines_of(run.out);
  ASSERT_EQ(answers.size(), std::size(calls));
  for (std::size_t i = 0; i < std::size(calls); ++i) {
    const std::string expected =
        R"({"ok":true,"result":)" + (calls[i].body != nullptr ? hex_of(calls[i].body) : "");
    EXPECT_TRUE(answers[i].starts_with(expected)) << i << " " << calls[i].path;
  }
  const std::map<std::string, int> requests = {{"/page", 2},  {"/missing", 2}, {"/broken", 2},
                                               {"/flaky", 2}, {"/big/a", 2},   {"/big/b", 1}};
  for (const auto& [path, count] : requests) EXPECT_EQ(site.requests(path), count) << path;

  // Off by default: every call asks.
  const CliRun off = run_cli("batch --no-page", site.call_line("/page") + site.call_line("/page"));
  EXPECT_EQ(off.status, 0);
  EXPECT_EQ(site.requests("/page"), 4);
}

}  // namespace
}  // namespace pelmo::cli
