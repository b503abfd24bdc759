// fwupdate-cli: see `fwupdate-cli --help`.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

#ifdef _WIN32
#include <io.h>
#define VXE_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define VXE_ISATTY(fd) isatty(fd)
#endif

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    vxe::CliTerminal terminal;
    terminal.input = &std::cin;
    terminal.inputIsTerminal = VXE_ISATTY(0) != 0;
    terminal.outputIsTerminal = VXE_ISATTY(1) != 0;
    return vxe::RunCli(std::move(args), std::cout, std::cerr, terminal);
}
