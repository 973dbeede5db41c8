// Serves the demo's site for a test run outside this process (the Windows command's document
// examples under Wine), exactly as the command's own document test sees it: FOLDER/links.js
// holds the site's link text for its own address, and FOLDER/port its port, written last. Serves
// until standard input ends.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <string>

#include "cli/demo_site.h"
#include "pelmo/text.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: pelmo_demo_site FOLDER\n";
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  pelmo::cli::DemoSite site;
  const std::string port = std::to_string(site.port());
  std::ofstream(folder / "links.js", std::ios::binary) << pelmo::to_utf8(
      pelmo::cli::DemoSite::affiliate_link_text(pelmo::from_utf8("127.0.0.1:" + port)));
  std::ofstream(folder / "port.tmp") << port;
  std::filesystem::rename(folder / "port.tmp", folder / "port");
  std::cin.ignore(std::numeric_limits<std::streamsize>::max());
  return 0;
}
