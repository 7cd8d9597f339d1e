#include "CliInterrupt.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <unistd.h>
#endif

namespace {

constexpr int kInterrupt = 2;    // SIGINT's number on every system
constexpr int kTerminate = 15;   // SIGTERM's

std::mutex g_mutex;
std::function<void()> g_first;
std::function<std::string()> g_lastWords;
std::atomic<int> g_taken{0};
int g_count = 0;

void Take(int signal)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (++g_count == 1) {
        g_taken = signal;
        if (g_first) g_first();
        return;
    }
    const std::string words = g_lastWords ? g_lastWords() : std::string();
    std::fputs(words.c_str(), stderr);
    std::fflush(stderr);
    std::fflush(stdout);
    std::_Exit(128 + g_taken.load());
}

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    Take(event == CTRL_C_EVENT ? kInterrupt : kTerminate);
    return TRUE;
}
#endif

}   // namespace

namespace CliInterrupt {

void Install()
{
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    sigset_t watched;
    sigemptyset(&watched);
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) sigaddset(&watched, signal);
    }
    if (pthread_sigmask(SIG_BLOCK, &watched, nullptr) != 0) return;
    std::thread([watched] {
        for (;;) {
            int signal = 0;
            if (sigwait(&watched, &signal) == 0) Take(signal == SIGINT ? kInterrupt : kTerminate);
        }
    }).detach();
#endif
}

void SetHandlers(std::function<void()> first, std::function<std::string()> lastWords)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_first = std::move(first);
    g_lastWords = std::move(lastWords);
}

int Taken()
{
    return g_taken.load();
}

int ExitStatus()
{
    return 128 + g_taken.load();
}

}   // namespace CliInterrupt
