// Entry point: finds the executable's place among the drives, then loads the
// window through the front end chosen by the environment.
#include <iostream>

#include "app/front_end.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  const std::string problem = platform::InitProcess(argc, argv);
  if (!problem.empty()) {
    std::cerr << "Start_Config: " << problem << "\n";
    return 1;
  }
  return app::Run();
}
