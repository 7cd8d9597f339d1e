#pragma once
// The Windows test programs also run under Wine, which differs from Windows in two ways the
// stand-ins meet. It binds a datagram socket on a loopback address to the whole loopback
// device, so a second address of a fleet cannot have the same discovery port (Windows, like
// Linux, gives each address its own); and its datagram queues are shorter than asked for.
// Fleets there serve no discovery (SimOptions::discovery); the tests that need a fleet's
// discovery or a burst skip there, saying which.

#ifdef _WIN32
#include <windows.h>
#endif

inline bool RunningUnderWine()
{
#ifdef _WIN32
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

constexpr const char* kWineFleetReason =
    "Wine binds a datagram socket on one loopback address to the whole loopback device, so the "
    "addresses of a stand-in fleet cannot share a discovery port as they do on Windows and Linux";

constexpr const char* kWineBurstReason =
    "Wine's datagram sockets queue fewer datagrams than the receive buffer asked for, so a whole "
    "subnet answering in one burst overflows them (the stand-in sends blocking: nothing is lost before)";

// Whether a fleet of `addresses` can answer searches here.
inline bool FleetDiscoveryWorks(int addresses)
{
    return addresses <= 1 || !RunningUnderWine();
}

// Skips the running test (from the test body or a fixture's SetUp) when it needs the
// discovery of a fleet of `addresses`.
#define SKIP_FLEET_UNDER_WINE(addresses)                                                                               \
    do {                                                                                                               \
        if (!FleetDiscoveryWorks(addresses)) {                                                                         \
            GTEST_SKIP() << kWineFleetReason;                                                                          \
        }                                                                                                              \
    } while (0)
