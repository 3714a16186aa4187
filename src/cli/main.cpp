// bramis-flash: writes, reads, verifies and identifies the device from the
// command line with the same transfer worker as the programmer window.
#include <iostream>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/flash_app.h"
#include "image/memory_profile_store.h"

int main(int argc, char** argv) {
    using namespace bramis;
    cli::UseUtf8Console();
    cli::KeepRunningWhenOutputCloses();
    const std::vector<std::string> args = cli::CommandLineArguments(argc, argv);

    // The programmer window's settings, read once: its port number and "Ports".
    MemoryProfileStore settings;
    cli::ReadProgrammerSettings(settings);
    cli::FlashEnvironment environment;
    environment.settings = &settings;
    environment.liveProgress = cli::StandardOutputIsTerminal();
    return cli::RunFlashCommandLine(args, environment, std::cout, std::cerr);
}
