// Entry point: finds the executable's place among the drives, then loads the
// window through the front end chosen by the environment.
#include <csignal>
#include <iostream>

#include "app/front_end.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  // Over a file-size limit a write then fails with EFBIG and is reported like a
  // full disk, instead of the signal ending the step half-way.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string problem = platform::InitProcess(argc, argv);
  if (!problem.empty()) {
    std::cerr << "Start_Config: " << problem << "\n";
    return 1;
  }
  return app::Run();
}
