#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/entry.h"
#include "imaging/standard_descriptors.h"

int main(int argc, char** argv) {
  if (!imaging::HoldStandardDescriptors()) return 1;
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return app::RunCommandLine(args, app::ProgramEntry);
}
