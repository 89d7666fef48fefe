// A module that binds send by import, from whichever socket DLL it is linked
// against: the hook must reach callers that bound it before or after the
// hook was installed.
#include <winsock2.h>

extern "C" __declspec(dllexport) int WSAAPI SenderSend(SOCKET socket, const char* buffer, int length, int flags) {
    return send(socket, buffer, length, flags);
}
