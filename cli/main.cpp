// mdbtool: reads Access .mdb files from a terminal. The commands live in mdb_cli_lib.

#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#ifdef MDB_CLI_TABLEOPS
#include "table_commands.h"
#endif

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
#ifdef MDB_CLI_TABLEOPS
  if (auto status = cli::RunTableCommand(args, std::cin, std::cout, std::cerr)) return *status;
#endif
  return cli::RunMdbtool(args, std::cout, std::cerr, std::cin);
}
