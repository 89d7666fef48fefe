// The process-wide replacements of the socket layer's name lookups on
// Windows: getaddrinfo, GetAddrInfoW and gethostbyname, routed by the hook
// engine as send is. A name whose every request the lists refuse is
// answered WSAHOST_NOT_FOUND without a lookup; everything else reaches the
// real function untouched.
#pragma once

namespace tamsel {

// Routes the three lookups of this process through the replacements. Called
// once, by the send hook's installation, after the module has been pinned.
// Throws std::bad_alloc only.
void InstallLookupHooks();

}  // namespace tamsel
