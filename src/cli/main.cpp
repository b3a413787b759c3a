// korvex-cli: the command-line front end of the header model.
#include "cli/Cli.h"

#include <iostream>

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    const int status = RunCli(argc, argv, std::cout, std::cerr);
    std::cout.flush();
    return std::cout ? status : kCliFileError;
}
