"""A TLS server on 127.0.0.1 for the whole-program tests. Every connection
gets one line in LOGFILE: "empty" when not one byte arrived before the client
ended it, "served NAME" when a request for server name NAME was answered,
"failed REASON" otherwise.

usage: tls_server.py CERT KEY PORTFILE LOGFILE
The chosen port is written to PORTFILE once the server listens.
"""
import os
import socket
import ssl
import sys
import threading

BODY = b"hello over tls\n"


def main():
    cert, key, port_file, log_file = sys.argv[1:5]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    context.sni_callback = lambda sock, name, ctx: setattr(sock, "tamsel_name", name)
    lock = threading.Lock()

    def log(line):
        with lock, open(log_file, "a") as out:
            out.write(line + "\n")

    def handle(raw):
        raw.settimeout(10)
        try:
            if not raw.recv(1, socket.MSG_PEEK):
                log("empty")
                return
            with context.wrap_socket(raw, server_side=True) as tls:
                request = b""
                while b"\r\n\r\n" not in request:
                    chunk = tls.recv(4096)
                    if not chunk:
                        break
                    request += chunk
                tls.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n" % len(BODY) + BODY)
                log("served %s" % getattr(tls, "tamsel_name", "-"))
        except OSError as error:
            log("failed %s" % error)
        finally:
            raw.close()

    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    with open(port_file + ".part", "w") as out:
        out.write(str(listener.getsockname()[1]))
    os.rename(port_file + ".part", port_file)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=handle, args=(connection,), daemon=True).start()


if __name__ == "__main__":
    main()
