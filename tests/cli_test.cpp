#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "cli/arg_words.h"
#include "cli/json_writer.h"

namespace pelmo::cli {
namespace {

TEST(ArgWords, EveryKindOfWord) {
  EXPECT_EQ(parse_arg_word("empty"), Variant());
  EXPECT_EQ(parse_arg_word("null"), Variant::null());
  EXPECT_EQ(parse_arg_word("s:"), text(u""));
  EXPECT_EQ(parse_arg_word("s:\xE4\xBD\xA0:x"), text(u"\u4F60:x"));
  EXPECT_EQ(parse_arg_word("u:0041D800"), text(u"A\xD800"));
  EXPECT_EQ(parse_arg_word("n:-0.5"), Variant::number(-0.5));
  EXPECT_EQ(parse_arg_word("i:-32768"), Variant::integer(-32768));
  EXPECT_EQ(parse_arg_word("l:1500"), Variant::long_(1500));
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
  EXPECT_THROW(parse_arg_word("sf:/nonexistent/pelmo"), UsageError);
}

TEST(ArgWords, MalformedWordsAreUsageErrors) {
  for (const char* bad : {"", "text", "S:x", "u:004", "u:00G1", "x:abc", "x:zz", "n:", "n:1x",
                          "n:inf", "i:32768", "i:1.5", "l:2147483648", "b:yes"}) {
    EXPECT_THROW(parse_arg_word(bad), UsageError) << bad;
  }
}

TEST(JsonWriter, VariantsAndOutcomes) {
  EXPECT_EQ(json_string(u"a\"\\\n\u4F60\xDC00"), R"("a\"\\\u000a\u4f60\udc00")");
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

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

CliRun run_cli(const std::string& arguments) {
  // Test processes run side by side: each call gets a standard-error file of its own.
  static int calls = 0;
  const std::string err_path = ::testing::TempDir() + "pelmo_cli_stderr_" +
                               std::to_string(getpid()) + "_" + std::to_string(++calls) + ".txt";
  const std::string command = std::string(PELMO_CLI_PATH) + " " + arguments + " 2>" + err_path;
  CliRun run{};
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  run.status = WEXITSTATUS(pclose(pipe));
  std::ifstream err(err_path);
  run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
  std::remove(err_path.c_str());
  return run;
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
  for (const char* bad :
       {"", "call", "call Rm", "call Rm s:a s:b", "call OnStartPage empty", "call NoSuch",
        "call Rm bogus", "call --bogus Rm s:a", "frobnicate", "call --request-method"}) {
    CliRun run = run_cli(bad);
    EXPECT_EQ(run.status, 2) << bad;
    EXPECT_EQ(run.out, "") << bad;
    EXPECT_NE(run.err, "") << bad;
  }
}

TEST(Command, MethodsListsTheSlotsAndHelpAndVersionAnswer) {
  CliRun run = run_cli("methods");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.substr(0, 33), "1 OnStartPage PassedscriptContext");
  EXPECT_NE(run.out.find("\n17 isPb\n"), std::string::npos);
  EXPECT_NE(run.out.find("\n21 D1616_m v1 v2 v3 v4 v5 v6 v7 v8 v9 v10\n"), std::string::npos);
  EXPECT_TRUE(run.out.ends_with("\n30 Bq_x v1\n31 OnEndPage\n"));
  EXPECT_EQ(run_cli("--version").out, "pelmo 1.1.0\n");
  EXPECT_EQ(run_cli("--help").status, 0);
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

}  // namespace
}  // namespace pelmo::cli
