// The process-wide replacement of the calls through which a program hands a
// request head to a stream socket: send, sendto, sendmsg, sendmmsg, write
// and writev. A preloaded module defines them in place of libc's; each one
// asks the send gate and either passes the call on to libc's own function,
// untouched, or refuses it with -1 and errno ECONNABORTED, sending nothing
// and shutting the connection down in both directions; every later send on
// that connection fails with EPIPE, without a SIGPIPE.
#pragma once

namespace tamsel {

// Resolves libc's functions behind the replacements and turns filtering on.
// Called once by the attach sequence; the replacements also resolve on first
// use, since other libraries' constructors may send before attach runs.
void InstallSendReplacement();

}  // namespace tamsel
