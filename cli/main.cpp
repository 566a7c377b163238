// mdbtool: reads Access .mdb files from a terminal. The commands live in mdb_cli_lib.

#include <iostream>
#include <string>
#include <vector>

#include "commands.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return cli::RunMdbtool(args, std::cout, std::cerr, std::cin);
}
