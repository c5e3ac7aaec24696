// quarvel-publish: writes the release manifest of a setup package (see
// publish_command.h). One thread.
#include <iostream>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/file_system.h"
#include "publisher/publish_command.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return quarvel::run_publish(arguments, quarvel::system_file_system(),
                              quarvel::system_wall_clock(), std::cout, std::cerr);
}
