// The station window under load: its slots bound to the ports of the
// settings file given, every slot started at once ("Пуск всех"), and measured
// until the last one ends: the wall time, the process's CPU time, the longest
// time the event loop went without serving a 10 ms timer, and the resident
// memory at its peak. bench/station.sh runs it against emulators.
//
//   station_bench SETTINGS.ini SLOTS [--cancel-after SECONDS]
//
// SETTINGS.ini: the store, with [Ports] COM5... naming the emulators' lines
// and [Station] ImageFile; slot n is bound to COM(4 + n). With
// --cancel-after every job is cancelled after that long (the memory run).
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "app/station_dlg.h"
#include "settings/qsettings_profile_store.h"

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// VmHWM: the peak of the resident set, in MiB.
double PeakResidentMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: station_bench SETTINGS.ini SLOTS [--cancel-after SECONDS]\n");
        return 2;
    }
    const int slotCount = std::clamp(std::atoi(argv[2]), 1, bramis::kStationSlots);
    const int cancelAfterS = argc > 4 && std::strcmp(argv[3], "--cancel-after") == 0 ? std::atoi(argv[4]) : 0;
    QApplication application(argc, argv);
    bramis::QSettingsProfileStore store(QString::fromLocal8Bit(argv[1]));
    bramis::CStationDlg station(store, bramis::FileChoosers{}, {});
    for (int slot = 1; slot <= slotCount; ++slot) {
        if (!station.SetSlotPort(slot, 4 + slot)) return 1;
    }
    station.show();

    QElapsedTimer sinceTick;
    qint64 longestGapMs = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QElapsedTimer wall;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 gapMs = sinceTick.restart() - 10;
        // Each long one with when it came, to find what held the loop.
        if (gapMs > 20) std::fprintf(stderr, "event loop held %lld ms at %.3f s\n", static_cast<long long>(gapMs),
                                     static_cast<double>(wall.elapsed()) / 1000.0);
        longestGapMs = std::max(longestGapMs, gapMs);
    });

    double cpuAtStart = 0;
    QTimer::singleShot(500, [&] {
        cpuAtStart = CpuSeconds();
        wall.start();
        station.StartAll();
        std::printf("started %d slots\n", slotCount);
        std::fflush(stdout);
        sinceTick.start();
        tick.start(10);
    });
    if (cancelAfterS > 0) QTimer::singleShot(500 + cancelAfterS * 1000, [&] { station.CancelAll(); });
    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (!wall.isValid() || station.AnyRunning()) return;
        station.FlushJournal();
        const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
        const double cpu = CpuSeconds() - cpuAtStart;
        for (int slot = 1; slot <= slotCount; ++slot) {
            const auto* result = station.findChild<QLabel*>(QStringLiteral("slot%1_result").arg(slot));
            std::printf("slot %d: %s\n", slot, result ? qPrintable(result->text()) : "?");
        }
        std::printf("slots %d: %.1f s, cpu %.2f s (%.2f %% of one core), event loop blocked at most %lld ms, "
                    "peak resident %.1f MiB\n",
                    slotCount, seconds, cpu, 100.0 * cpu / seconds, static_cast<long long>(longestGapMs),
                    PeakResidentMiB());
        std::fflush(stdout);
        QApplication::quit();
    });
    done.start(100);
    return QApplication::exec();
}
