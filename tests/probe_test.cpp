// `pelmo probe` against the loopback demo site as it drifts: each state in every output mode,
// the Prometheus file read back by a real parser of the format, and the probe files it refuses.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "cli/demo_site.h"
#include "cli/probe_file.h"
#include "cli/result_records.h"
#include "pelmo/text.h"

namespace pelmo::cli {
namespace {

struct ShellRun {
  int status;
  std::string out;
  std::string err;
};

std::string temp_path(const std::string& what) {
  static int made = 0;
  return ::testing::TempDir() + "pelmo_probe_" + std::to_string(getpid()) + "_" +
         std::to_string(++made) + what;
}

ShellRun run_shell(const std::string& command) {
  const std::string err_path = temp_path(".err");
  ShellRun run{};
  FILE* pipe = popen((command + " 2>" + err_path).c_str(), "r");
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  run.status = WEXITSTATUS(pclose(pipe));
  std::ifstream err(err_path);
  run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
  std::remove(err_path.c_str());
  return run;
}

std::string write_file(const std::string& content) {
  const std::string path = temp_path(".probe");
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::string listing_check(const std::string& name, const std::string& url) {
  return R"({"name": ")" + name + R"(", "call": ["D1616_Tuan_Smain", "s:)" + url +
         R"(", "s:bj", "s:4", "s:1"], "records": {"warn": 15, "crit": 5}, )"
         R"("filled": ["VC2TITLE", "NUMPRICE"], "contains": ["\"list\": ["], )"
         R"("seconds": {"warn": 30, "crit": 60}})";
}

TEST(Probe, EachDriftOfTheSiteInEveryOutputMode) {
  std::string down_url;
  {
    const DemoSite gone;  // a loopback port that no longer answers
    down_url = "http://127.0.0.1:" + std::to_string(gone.port()) + "/tuan/list.html";
  }
  const DemoSite site;
  const std::string base = "http://127.0.0.1:" + std::to_string(site.port());
  struct Case {
    std::string check;
    int status;
    std::string records;  // the figure the outputs show; empty when there is none
    std::string reason;   // a part of the reason given when not OK
  };
  const std::vector<Case> cases = {
      {listing_check("healthy", base + "/tuan/list.html"), 0, "15", ""},
      {listing_check("fewer", base + "/tuan/list-few.html"), 1, "8", "records 8 below 15"},
      {listing_check("none", base + "/tuan/list-none.html"), 2, "0", "records 0 below 5"},
      {listing_check("redesigned", base + "/tuan/list-redesigned.html"), 2, "0",
       "records 0 below 5"},
      {listing_check("down", down_url), 2, "", "error 0x800C0007"},
      {R"({"name": "news", "call": ["D1616_New_index"], "records": {"warn": 5, "crit": 1}, )"
       R"("filled": {"fields": ["headline"], "warn": 100, "crit": 100}})",
       0, "5", ""},
      {R"({"name": "marker", "call": ["Tarvessa_getHTTPPage", "s:)" + base +
           R"(/tuan/list-redesigned.html"], "contains": ["<div id=\"productlist\""]})",
       2, "", "missing \"<div id=\"productlist\"\""},
  };
  const std::string environment =
      "PELMO_NEWS_HOST=127.0.0.1:" + std::to_string(site.port()) + " PELMO_FETCH_CACHE_SECONDS=0 ";
  const std::string pelmo = std::string(PELMO_CLI_PATH);
  for (const Case& c : cases) {
    const std::string file = write_file("# one check\n\n" + c.check + "\n");
    const std::string probe = "env " + environment + pelmo + " probe " + file;
    const std::string state = c.status == 0 ? "OK" : c.status == 1 ? "WARNING" : "CRITICAL";

    const ShellRun plain = run_shell(probe);
    EXPECT_EQ(plain.status, c.status) << c.check << plain.out << plain.err;
    EXPECT_TRUE(plain.out.starts_with(state + " ")) << plain.out;
    EXPECT_NE(plain.out.find(c.reason), std::string::npos) << plain.out;
    if (!c.records.empty()) {
      EXPECT_NE(plain.out.find(": " + c.records + " records"), std::string::npos) << plain.out;
    }

    const ShellRun json = run_shell(probe + " --json");
    EXPECT_EQ(json.status, c.status) << json.out;
    EXPECT_TRUE(json.out.starts_with("{\"name\":")) << json.out;
    EXPECT_NE(json.out.find("\"state\":\"" + state + "\",\"status\":" + std::to_string(c.status)),
              std::string::npos)
        << json.out;
    if (!c.records.empty()) {
      EXPECT_NE(json.out.find("\"records\":" + c.records + ","), std::string::npos) << json.out;
    }

    const ShellRun plugin = run_shell(probe + " --plugin");
    EXPECT_EQ(plugin.status, c.status) << plugin.out;
    const std::string summary = c.status == 0   ? "1 of 1 checks OK"
                                : c.status == 1 ? "1 of 1 checks warn"
                                                : "1 of 1 checks critical";
    EXPECT_TRUE(plugin.out.starts_with("PELMO PROBE " + state + " - " + summary + " | "))
        << plugin.out;
    if (!c.records.empty()) {
      EXPECT_TRUE(std::regex_search(
          plugin.out, std::regex("'[a-z]+ records'=" + c.records + "(;15:;5:|;5:;1:)? ")))
          << plugin.out;
    }

    const std::string metrics = temp_path(".prom");
    const ShellRun prometheus = run_shell(probe + " --prometheus " + metrics);
    EXPECT_EQ(prometheus.status, c.status);
    EXPECT_EQ(prometheus.out, "");
    // A real parser of the format reads it back: each sample as "name labels value".
    const ShellRun parsed = run_shell(
        "/usr/bin/python3 -c 'import sys\n"
        "from prometheus_client.parser import text_string_to_metric_families as read\n"
        "for f in read(open(sys.argv[1]).read()):\n"
        "  for s in f.samples: print(s.name, sorted(s.labels.items()), s.value)' " +
        metrics);
    ASSERT_EQ(parsed.status, 0) << parsed.err;
    EXPECT_NE(parsed.out.find("pelmo_probe_file_valid [] 1.0"), std::string::npos);
    std::smatch ran;
    ASSERT_TRUE(std::regex_search(
        parsed.out, ran, std::regex("pelmo_probe_last_run_timestamp_seconds \\[\\] ([0-9.]+)")));
    EXPECT_NEAR(std::stod(ran[1]), static_cast<double>(std::time(nullptr)), 60) << parsed.out;
    const std::regex name_label("\\[\\('check', '([a-z]+)'\\)\\]");
    std::smatch name;
    ASSERT_TRUE(std::regex_search(parsed.out, name, name_label)) << parsed.out;
    const std::string labels = "[('check', '" + name[1].str() + "')] ";
    EXPECT_NE(parsed.out.find("pelmo_probe_state " + labels + std::to_string(c.status) + ".0"),
              std::string::npos)
        << parsed.out;
    if (!c.records.empty()) {
      EXPECT_NE(parsed.out.find("pelmo_probe_records " + labels + c.records + ".0"),
                std::string::npos)
          << parsed.out;
    }
    EXPECT_NE(access((metrics + ".tmp." + std::to_string(getpid())).c_str(), F_OK), 0);
    std::remove(metrics.c_str());
    std::remove(file.c_str());
  }
}

TEST(Probe, AFileThatCannotBeUsedIsUnknownAndNamesItsLine) {
  const std::string good = R"({"name": "a", "call": ["FNum", "s:1"]})";
  const std::map<std::string, std::string> refused = {
      {"not json", "line 1: not JSON"},
      {"\n" + good + "\n" + good, "line 3: the name \"a\" is used twice"},
      {R"({"name": "a", "call": ["NoSuchMethod"]})", "line 1: call: "},
      {R"({"name": "a", "call": ["FNum"]})", "line 1: call: "},
      {R"({"name": "a", "call": ["FNum", "s:1"], "records": {"warn": 1, "crit": 2}})",
       "line 1: records: FNum returns no list of records"},
      {R"({"name": "a", "call": ["D1616_New_index"], "records": {"warn": 1, "crit": 2}})",
       "line 1: records: \"warn\" must be at least \"crit\""},
      {R"({"name": "a", "call": ["D1616_New_index"], "filled": ["VC2TITLE"]})",
       "line 1: filled: D1616_New_index records have no field \"VC2TITLE\""},
      {R"({"name": "a", "call": ["FNum", "s:1"], "second": {"warn": 1, "crit": 2}})",
       "line 1: check: unknown word \"second\""},
      {R"({"name": "a", "call": ["FNum", "s:1"], "seconds": {"warn": 3, "crit": 1}})",
       "line 1: seconds: \"warn\" must be at most \"crit\""},
      {"# only a comment\n", "line 1: no checks in the file"},
  };
  for (const auto& [content, message] : refused) {
    EXPECT_THROW(
        {
          try {
            parse_probe_file(content);
          } catch (const ProbeFileError& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with(message)) << e.what();
            throw;
          }
        },
        ProbeFileError)
        << content;
  }
  // Through the command, in each mode: UNKNOWN, the plugin line on standard output.
  const std::string file = write_file(good + "\n{\"name\": 5}\n");
  const std::string probe = std::string(PELMO_CLI_PATH) + " probe " + file;
  const ShellRun plugin = run_shell(probe + " --plugin");
  EXPECT_EQ(plugin.status, 3);
  EXPECT_EQ(plugin.out,
            "PELMO PROBE UNKNOWN - " + file + ": line 2: a check needs a \"name\" text\n");
  const ShellRun plain = run_shell(probe);
  EXPECT_EQ(plain.status, 3);
  EXPECT_NE(plain.err.find("line 2"), std::string::npos);
  const std::string metrics = temp_path(".prom");
  EXPECT_EQ(run_shell(probe + " --prometheus " + metrics).status, 3);
  std::ifstream written(metrics);
  const std::string content((std::istreambuf_iterator<char>(written)), {});
  EXPECT_NE(content.find("\npelmo_probe_file_valid 0\n"), std::string::npos) << content;
  for (const std::string& words : {std::string(), std::string("--json"), file + " --json --plugin",
                                   file + " extra", file + " --prometheus"}) {
    EXPECT_EQ(run_shell(std::string(PELMO_CLI_PATH) + " probe " + words).status, 3) << words;
  }
  std::remove(metrics.c_str());
  std::remove(file.c_str());
}

TEST(Probe, RecordsAreCountedAsThePagesScriptReadsThem) {
  auto text = [](const char* utf8) { return Variant::string(from_utf8(utf8)); };
  struct Case {
    const char* method;
    Variant result;
    std::size_t records;
    const char* field;   // a field of the records
    std::size_t filled;  // how many records have it not empty
  };
  const std::vector<Case> cases = {
      // The listing as a page passes its city, unquoted, and a value escaped for its string.
      {"D1616_Tuan_Smain",
       text("{\r\n\"count\": \"16\",\r\n\"city\": bj,\r\n\"page\": 1,\r\n\"list\": [\r\n"
            "{\"VC2TITLE\": \"a \\u003cb\\\"\", \"NUMPRICE\": \"40\"},{\"VC2TITLE\": \"\", "
            "\"NUMPRICE\": \"7\"}]\r\n}\r\n"),
       2, "VC2TITLE", 1},
      {"d1616_tuan_smain", text("{\"list\": [{\"VC2TITLE\": \"cut"), 0, "VC2TITLE", 0},
      {"D1616_Tuan_Smain", Variant(), 0, "VC2TITLE", 0},
      {"D1616_Tuan_Shezhi",
       text("var a1 = [[\"n1\",\"http://h/gc?site=1\"],[\"\",\"http://h/gc\"]]"), 2, "name", 1},
      {"D1616_New_index",
       Variant::array({text("var pelmo_Net_k=[[\"\",\"\"],[\"/n/1\",\"A\"],[\"\",\"\"],"
                            "[\"/n/2\",\"\"],[\"\",\"\"]]"),
                       Variant::integer(3)}),
       2, "headline", 1},
      {"D1616_Gouwu_Cj_Pic",
       text("<li>\r\n<span class='a'><a href='h1' target='_blank'  title='T1'><img src='s1' "
            "border='0' /></a>\r\n<a href='h1' target='_blank'   title='T1'>T1</a></span>\r\n"
            "<span class='b'><a href='#' target='_blank'  title=''><img src='s2' border='0' "
            "/></a>\r\n<a href='#' target='_blank'   title=''></a></span>\r\n</li>\r\n"),
       2, "title", 1},
      {"D1616_Gouwu_Cj_Txt", text(""), 0, "href", 0},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(record_fields(c.method)) << c.method;
    const std::vector<Record> records = result_records(c.method, c.result);
    EXPECT_EQ(records.size(), c.records) << c.method;
    const auto filled = std::count_if(records.begin(), records.end(), [&](const Record& r) {
      return !field_value(r, c.field).empty();
    });
    EXPECT_EQ(static_cast<std::size_t>(filled), c.filled) << c.method;
  }
  EXPECT_EQ(field_value(result_records("D1616_Tuan_Smain", cases[0].result)[0], "VC2TITLE"),
            "a <b\"");
  EXPECT_FALSE(record_fields("FNum"));
}

TEST(Probe, TheShippedProbeFileIsValid) {
  const std::vector<ProbeCheck> checks =
      read_probe_file(std::string(PELMO_SOURCE_DIR) + "/docs/portal.probe");
  EXPECT_GE(checks.size(), 5u);
}

}  // namespace
}  // namespace pelmo::cli
