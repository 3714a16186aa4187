// bramis-flash: writes, reads, verifies and identifies the device from the
// command line with the same transfer worker as the programmer window.
#include <QCoreApplication>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/flash_app.h"
#include "cli/flash_texts.h"
#include "journal/journal.h"
#include "settings/qsettings_profile_store.h"

int main(int argc, char** argv) {
    using namespace bramis;
    cli::UseUtf8Console();
    cli::KeepRunningWhenOutputCloses();
    const std::vector<std::string> args = cli::CommandLineArguments(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvy"));
    QCoreApplication::setApplicationName(QStringLiteral("TOLVA upgrade"));

    // The programmer window's settings: its port number and "Ports".
    std::string warning;
    const std::unique_ptr<const ProfileStore> settings = OpenUserSettings(warning);
    if (!warning.empty()) {
        std::cerr << warning << '\n';
    }
    // Once: the journal the window used to keep apart joins the one journal.
    const QString moved =
        MoveOldJournal(OldWindowJournalPath(), settings ? JournalPath(*settings) : DefaultJournalPath());
    if (!moved.isEmpty()) {
        std::cerr << cli::kApplicationTitle << ": " << cli::texts::Warning(moved.toStdString()) << '\n';
    }
    cli::FlashEnvironment environment;
    environment.settings = settings.get();
    environment.liveProgress = cli::StandardOutputIsTerminal();
    return cli::RunFlashCommandLine(args, environment, std::cout, std::cerr);
}
