"""Sends one HTTP request the way the test asks, through one of the socket
calls a Python program can use, and says how it went.

usage: http_client.py PORT HOST PATH METHOD [BODY]
METHOD: sendall (head, then the body in a call of its own), write (os.write
on the socket), sendmsg (request line and headers as separate buffers),
urllib (the standard library's HTTP client).
Exit status: 0 with the response body on stdout; 3 when the send was refused
(connection aborted); 4 on any other failure.
"""
import os
import socket
import sys
import urllib.request


def head(host, path, body):
    length = "Content-Length: %d\r\n" % len(body) if body else ""
    method = "POST" if body else "GET"
    return ("%s %s HTTP/1.1\r\nHost: %s\r\n%sConnection: close\r\n\r\n" % (method, path, host, length)).encode()


def response_body(sock):
    data = b""
    while True:
        chunk = sock.recv(4096)
        if not chunk:
            break
        data += chunk
    return data.split(b"\r\n\r\n", 1)[1]


def raw(port, host, path, method, body):
    with socket.create_connection(("127.0.0.1", port)) as sock:
        request = head(host, path, body)
        if method == "sendall":
            sock.sendall(request)
            if body:
                sock.sendall(body)
        elif method == "write":
            os.write(sock.fileno(), request + body)
        else:
            line, rest = request.split(b"\r\n", 1)
            sock.sendmsg([line + b"\r\n", rest, body])
        sock.shutdown(socket.SHUT_WR)
        return response_body(sock)


def with_urllib(port, host, path):
    request = urllib.request.Request("http://127.0.0.1:%d%s" % (port, path), headers={"Host": host})
    with urllib.request.urlopen(request, timeout=10) as answer:
        return answer.read()


def main():
    port, host, path, method = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    body = sys.argv[5].encode() if len(sys.argv) > 5 else b""
    try:
        if method == "urllib":
            answer = with_urllib(port, host, path)
        else:
            answer = raw(port, host, path, method, body)
    except ConnectionAbortedError as error:
        print("refused:", error, file=sys.stderr)
        return 3
    except OSError as error:
        reason = getattr(error, "reason", None)
        if isinstance(reason, ConnectionAbortedError):
            print("refused:", reason, file=sys.stderr)
            return 3
        print("failed:", error, file=sys.stderr)
        return 4
    sys.stdout.write(answer.decode())
    return 0


sys.exit(main())
