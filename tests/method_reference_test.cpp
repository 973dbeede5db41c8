// The method reference, docs/methods.md, against the component: a section for every method in
// slot order, with the catalogue's summary and signature and at least one example of each
// kind, and every command example (README's too) printing exactly what it shows.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/demo_site.h"
#include "pelmo/catalogue.h"
#include "pelmo/text.h"
#include "support/run_command.h"

namespace pelmo {
namespace {

struct CommandExample {
  int line;
  std::string settings;  // the NAME=VALUE words before "pelmo", each followed by a space
  std::string command;   // after "pelmo "
  std::string output;    // the lines after it, each ended by a line feed
};

struct Section {
  int line;
  std::string name, summary, signature;
  int page_examples = 0;
  int command_examples = 0;
};

struct Reference {
  std::vector<Section> sections;
  std::vector<CommandExample> examples;
  std::vector<std::string> faults;  // script examples without the text block of their output
};

bool is_identifier(const std::string& s) {
  if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  for (char c : s) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  }
  return true;
}

// Reads the reference as the build's embedding does: a method section is a "### NAME" heading
// and runs to the next "##" or "###" heading outside code blocks.
Reference read_reference(const std::string& path) {
  std::ifstream in(path);
  Reference doc;
  Section* section = nullptr;
  bool in_fence = false, awaiting_output = false;
  std::string fence, awaiting_where;
  CommandExample* example = nullptr;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.find_first_not_of(' ') != std::string::npos &&
        line.substr(line.find_first_not_of(' ')).starts_with("```")) {
      in_fence = !in_fence;
      example = nullptr;
      if (!in_fence) {
        if (fence == "vbscript") {
          awaiting_output = true;
          awaiting_where = "line " + std::to_string(number);
        }
        continue;
      }
      fence = line.substr(line.find('`') + 3);
      if (awaiting_output && fence != "text") {
        doc.faults.push_back("the script example ending at " + awaiting_where +
                             " has no text block of its output after it");
      }
      if (fence == "text") awaiting_output = false;
      if (section != nullptr && (fence == "vbscript" || fence == "asp")) ++section->page_examples;
      continue;
    }
    if (in_fence) {
      if (line.starts_with("$ ")) {
        example = nullptr;
        std::size_t word = 2;
        while (line.compare(word, 6, "pelmo ") != 0 &&
               line.find('=', word) < line.find(' ', word)) {
          word = line.find(' ', word) + 1;
        }
        if (line.compare(word, 6, "pelmo ") == 0) {
          doc.examples.push_back({number, line.substr(2, word - 2), line.substr(word + 6), {}});
          example = &doc.examples.back();
          if (section != nullptr) ++section->command_examples;
        }
      } else if (example != nullptr) {
        example->output += line + "\n";
      }
      continue;
    }
    if (line.starts_with("## ") || line.starts_with("### ")) {
      section = nullptr;
      if (line.starts_with("### ") && is_identifier(line.substr(4))) {
        doc.sections.push_back({number, line.substr(4), {}, {}});
        section = &doc.sections.back();
      }
      continue;
    }
    // The first two lines of text of a section: its summary, then its slot and signature.
    if (section != nullptr && !line.empty()) {
      if (section->summary.empty()) {
        section->summary = line;
      } else if (section->signature.empty()) {
        section->signature = line;
      }
    }
  }
  if (awaiting_output) {
    doc.faults.push_back("the script example ending at " + awaiting_where +
                         " has no text block of its output after it");
  }
  return doc;
}

std::string signature_of(const MethodEntry& entry) {
  std::string s = "Slot " + std::to_string(entry.slot) + " · `" + std::string(entry.name) + "(";
  for (std::size_t i = 0; i < entry.params.size(); ++i) {
    s += (i == 0 ? "" : ", ") + std::string(entry.params[i]);
  }
  return s + ")`";
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
  return s;
}

const std::string kReference = std::string(PELMO_SOURCE_DIR) + "/docs/methods.md";

TEST(MethodReference, EveryMethodHasItsSectionInSlotOrderWithBothKindsOfExample) {
  const Reference doc = read_reference(kReference);
  const auto methods = catalogue();
  ASSERT_EQ(doc.sections.size(), methods.size()) << "one \"### NAME\" section per method";
  for (std::size_t i = 0; i < methods.size(); ++i) {
    const Section& section = doc.sections[i];
    const std::string where = "docs/methods.md:" + std::to_string(section.line);
    EXPECT_EQ(section.name, methods[i].name) << where << ": sections follow the slots";
    EXPECT_EQ(section.summary, methods[i].summary) << where;
    EXPECT_TRUE(section.signature.starts_with(signature_of(methods[i])))
        << where << ": the line after the summary starts \"" << signature_of(methods[i])
        << "\", not \"" << section.signature << "\"";
    EXPECT_GT(section.page_examples, 0) << where << ": no page example (vbscript or asp)";
    EXPECT_GT(section.command_examples, 0) << where << ": no `$ pelmo` example";
  }
  for (const std::string& fault : doc.faults) ADD_FAILURE() << fault;
}

// The examples of the reference and of README. Every example runs with the build's default
// hosts and the settings on its own line, the fetch cache off, in a folder that holds the sample
// site's link text as links.js. PORT stands for the port of the sample site of `pelmo demo`.
TEST(MethodReference, EveryCommandExamplePrintsWhatTheReferenceShows) {
  std::vector<std::pair<std::string, CommandExample>> examples;
  for (const std::string& path : {kReference, std::string(PELMO_SOURCE_DIR) + "/README.md"}) {
    for (const CommandExample& example : read_reference(path).examples) {
      examples.emplace_back(path.substr(std::string(PELMO_SOURCE_DIR).size() + 1), example);
    }
  }
  ASSERT_GT(examples.size(), 31u);
  cli::DemoSite site;
  const std::string port = std::to_string(site.port());
  const std::filesystem::path folder =
      std::filesystem::path(::testing::TempDir()) / ("pelmo_reference_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "links.js", std::ios::binary)
      << to_utf8(cli::DemoSite::affiliate_link_text(from_utf8("127.0.0.1:" + port)));
  const std::string defaults =
      "-u PELMO_FETCH_CACHE_SECONDS -u PELMO_FETCH_STALE_SECONDS -u PELMO_FETCH_CACHE_MB "
      "-u PELMO_AFFILIATE_HOST -u PELMO_NEWS_HOST -u PELMO_LOTTERY_HOST -u PELMO_SHOPNAV_DOMAIN ";

  for (const auto& [file, example] : examples) {
    const testing::CliRun run = testing::run_cli(
        replace_all(example.command, "PORT", port), {},
        defaults + replace_all(example.settings, "PORT", port), "cd '" + folder.string() + "' && ");
    const std::string shown = replace_all(run.out, ":" + port + "/", ":PORT/");
    EXPECT_EQ(shown, example.output) << file << ":" << example.line << ": $ " << example.settings
                                     << "pelmo " << example.command << "\n"
                                     << run.err;
    if (example.command.starts_with("call ")) {
      EXPECT_EQ(run.status, run.out.starts_with("{\"ok\":true") ? 0 : 1)
          << file << ":" << example.line << ": exit status";
    }
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace pelmo
