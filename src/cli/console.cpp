#include "cli/console.h"

#include <atomic>
#include <csignal>

#include "cli/ini_file.h"

#ifdef _WIN32
#include <io.h>
#include <stdio.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <grp.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace bramis::cli {

namespace {

std::atomic<int> g_cancelSignals{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only touch a lock-free atomic");

extern "C" void CountCancelSignal(int signalNumber) {
    g_cancelSignals.fetch_add(1);
#ifdef _WIN32
    // The Windows runtime restores the default handling before calling a handler.
    std::signal(signalNumber, CountCancelSignal);
#else
    static_cast<void>(signalNumber);
#endif
}

#ifndef _WIN32
sigset_t CancelSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

struct sigaction g_previousInt;
struct sigaction g_previousTerm;
#else
void (*g_previousInt)(int) = SIG_DFL;
void (*g_previousTerm)(int) = SIG_DFL;
#endif

}  // namespace

void UseUtf8Console() {
#ifdef _WIN32
    SetConsoleOutputCP(CP_UTF8);
#endif
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
#ifdef _WIN32
    static_cast<void>(argc);
    static_cast<void>(argv);
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
    return args;
#else
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
#endif
}

bool StandardOutputIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

CancelSignals::CancelSignals() {
    g_cancelSignals = 0;
#ifdef _WIN32
    g_previousInt = std::signal(SIGINT, CountCancelSignal);
    g_previousTerm = std::signal(SIGTERM, CountCancelSignal);
#else
    struct sigaction action {};
    action.sa_handler = CountCancelSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &g_previousInt);
    sigaction(SIGTERM, &action, &g_previousTerm);
#endif
}

CancelSignals::~CancelSignals() {
#ifdef _WIN32
    std::signal(SIGINT, g_previousInt);
    std::signal(SIGTERM, g_previousTerm);
#else
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
#endif
}

int CancelSignals::Count() const { return g_cancelSignals.load(); }

std::thread StartThreadWithoutCancelSignals(std::function<void()> body) {
#ifdef _WIN32
    // Console control events arrive on a thread of their own anyway.
    return std::thread(std::move(body));
#else
    // The new thread inherits the mask that is in force while it is created.
    const sigset_t blocked = CancelSignalSet();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    std::thread thread(std::move(body));
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return thread;
#endif
}

void ReadProgrammerSettings(ProfileStore& store) {
#ifdef _WIN32
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, "Software\\Orvy\\TOLVA upgrade\\Settings", "PortNumber",
                     RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS) {
        store.WriteInt(kSectionSettings, kValuePortNumber, static_cast<int>(value));
    }
#else
    if (const std::optional<IniFile> ini = IniFile::Load(ProgrammerSettingsPath())) {
        ini->CopyInto(store);
    }
#endif
}

std::string PortAccessHint(const std::string& devicePath) {
#ifdef _WIN32
    static_cast<void>(devicePath);
    return {};
#else
    struct stat info {};
    if (devicePath.empty() || stat(devicePath.c_str(), &info) != 0 ||
        access(devicePath.c_str(), R_OK | W_OK) == 0) {
        return {};
    }
    const group* owner = getgrgid(info.st_gid);
    const std::string name = owner != nullptr ? owner->gr_name : std::to_string(info.st_gid);
    return "Нет доступа к " + devicePath + ": пользователь должен входить в группу «" + name +
           "», которой принадлежит устройство (обычно dialout): sudo usermod -aG " + name +
           " $USER, затем войти в систему заново.";
#endif
}

}  // namespace bramis::cli
