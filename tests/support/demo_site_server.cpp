// pelmo_demo_site PORTFILE: serves the demo site (the sample pages of `pelmo demo` and the
// probe's drifted listings) on a free loopback port, written to PORTFILE, until SIGTERM or
// SIGINT. The Windows suite probes these pages through pelmo.exe and the Linux command alike.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "cli/demo_site.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: pelmo_demo_site PORTFILE\n";
    return 2;
  }
  // Blocked before the server's threads start, so they inherit the mask and sigwait takes it.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  const pelmo::cli::DemoSite site;
  // Whole or not at all: a reader polling the file never sees a part of the number.
  const std::string port_file = argv[1], partial = port_file + ".tmp";
  std::ofstream(partial) << site.port();
  if (std::rename(partial.c_str(), port_file.c_str()) != 0) {
    std::cerr << "pelmo_demo_site: cannot write " << port_file << "\n";
    return 1;
  }
  int signal = 0;
  sigwait(&stop, &signal);
  return 0;
}
