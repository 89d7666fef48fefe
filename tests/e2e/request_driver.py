"""Drives requests for the tests of a long-running program and of the
refusal log.

usage: request_driver.py loop PORT HOST SECONDS STARTED
    one GET each 100 ms for SECONDS; prints "WALLTIME ok|refused|failed" a line
    and creates the file STARTED once the first request has been answered
usage: request_driver.py threads PORT TAG COUNT
    four threads, each sending COUNT GETs at once for hosts TAG-tI.ads.test
    with a long path; prints how many were refused
usage: request_driver.py paths PORT HEXPATH...
    in the locale the environment names (set for the whole program, as
    desktop programs do), one GET per path, its bytes given in hex; prints
    "ok", "refused" or "failed" a line
"""
import locale
import socket
import sys
import threading
import time


def send_head(port, head):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=10) as sock:
            sock.sendall(head)
            sock.shutdown(socket.SHUT_WR)
            while sock.recv(4096):
                pass
        return "ok"
    except ConnectionAbortedError:
        return "refused"
    except OSError:
        return "failed"


def request(port, host, path):
    return send_head(port, ("GET %s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n\r\n" % (path, host)).encode())


def loop(port, host, seconds, started_file):
    end = time.time() + seconds
    while time.time() < end:
        started = time.time()
        print("%.3f %s" % (started, request(port, host, "/x.js")), flush=True)
        open(started_file, "a").close()
        time.sleep(max(0.0, 0.1 - (time.time() - started)))


def threads(port, tag, count):
    results = []
    path = "/" + "p" * 3000 + "/\x01ctl"
    def work(index):
        for _ in range(count):
            results.append(request(port, "%s-t%d.ads.test" % (tag, index), path))
    workers = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    print(results.count("refused"))


def paths(port, hex_paths):
    locale.setlocale(locale.LC_ALL, "")
    for hex_path in hex_paths:
        head = b"GET " + bytes.fromhex(hex_path) + b" HTTP/1.1\r\nHost: any.test\r\nConnection: close\r\n\r\n"
        print(send_head(port, head), flush=True)


def main():
    mode, port = sys.argv[1], int(sys.argv[2])
    if mode == "paths":
        paths(port, sys.argv[3:])
    elif mode == "loop":
        loop(port, sys.argv[3], float(sys.argv[4]), sys.argv[5])
    else:
        threads(port, sys.argv[3], int(sys.argv[4]))


main()
