// A host program for the whole-program tests, copied under the names that
// matter (explorer.exe, iexplore.exe) before it runs.
//
//   host_probe load PATH   loads the module: exit 0 when it loaded, 20 when
//                          it refused to start and left nothing behind
//   host_probe send        creates AdFilter by its ProgID as a browser would,
//                          then sends three requests and a recorded TLS
//                          ClientHello over real loopback sockets and looks
//                          up "localhost"; the exit code holds one bit per
//                          outcome (see SendOutcome)
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "intercept/client_hello_fixtures.h"
#include "intercept/win32/loopback.h"

namespace {

enum SendOutcome : int {
    kCreated = 1,           // AdFilter was created, so the module is loaded
    kBlockedRefused = 2,    // send of the block-listed request failed
    kBlockedArrived = 4,    // ... or its bytes reached the other end
    kTrustedArrived = 8,    // a block-listed host with a trusted path arrived
    kOrdinaryArrived = 16,  // an ordinary request arrived
    kHelloRefused = 32,     // send of a ClientHello naming ads.example failed
    kHelloArrived = 64,     // ... or its bytes reached the other end
    kLookupRefused = 128,   // getaddrinfo answered "localhost" with no such host
};

int Load(const char* path) {
    if (LoadLibraryA(path) != nullptr) return 0;
    const DWORD error = GetLastError();
    const bool leftNothing = GetModuleHandleA("Tamsel.dll") == nullptr;
    std::printf("LoadLibrary failed with %lu; module %s\n", error, leftNothing ? "gone" : "still mapped");
    return error == ERROR_DLL_INIT_FAILED && leftNothing ? 20 : 21;
}

bool CreateAdFilter() {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(L"Tamsel.AdFilter", &clsid))) return false;
    IUnknown* object = nullptr;
    if (FAILED(
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)))) {
        return false;
    }
    // The object goes; the module it loaded stays, as in a browser window.
    object->Release();
    return true;
}

// Sends one request head; true when send accepted it, and what arrived.
bool SendRequest(const std::string& request, std::string& arrived) {
    tamsel::testing::LoopbackPair pair;
    if (!pair.connected()) return false;
    const int sent = send(pair.client(), request.data(), static_cast<int>(request.size()), 0);
    arrived = pair.Received();
    return sent == static_cast<int>(request.size());
}

std::string Request(const char* path, const char* host) {
    return std::string("GET ") + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
}

int Send() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int outcome = CreateAdFilter() ? kCreated : 0;
    std::string arrived;
    const std::string blocked = Request("/banner.gif", "ads.tamsel-test.example");
    if (!SendRequest(blocked, arrived)) outcome |= kBlockedRefused;
    if (arrived == blocked) outcome |= kBlockedArrived;
    const std::string trusted = Request("/trusted/logo.gif", "ads.tamsel-test.example");
    if (SendRequest(trusted, arrived) && arrived == trusted) outcome |= kTrustedArrived;
    const std::string ordinary = Request("/index.html", "www.tamsel-test.example");
    if (SendRequest(ordinary, arrived) && arrived == ordinary) outcome |= kOrdinaryArrived;
    const std::string& hello = tamsel::fixtures::kHelloAdsExample;
    if (!SendRequest(hello, arrived)) outcome |= kHelloRefused;
    if (arrived == hello) outcome |= kHelloArrived;
    ADDRINFOA* found = nullptr;
    if (getaddrinfo("localhost", "80", nullptr, &found) == WSAHOST_NOT_FOUND) outcome |= kLookupRefused;
    if (found != nullptr) freeaddrinfo(found);
    std::printf("outcome %d\n", outcome);
    CoUninitialize();
    return outcome;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "load") == 0) return Load(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "send") == 0) return Send();
    std::fprintf(stderr, "usage: host_probe load PATH | host_probe send\n");
    return 2;
}
