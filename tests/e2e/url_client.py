"""Fetches URL with Python's own HTTP client, trusting CAFILE for https,
and says how it went.

usage: url_client.py URL [CAFILE]
Exit status: 0 with the body on stdout; 3 when the connection was aborted;
5 when the name could not be resolved; 4 on any other failure.
"""
import socket
import ssl
import sys
import urllib.error
import urllib.request


def main():
    url = sys.argv[1]
    context = ssl.create_default_context(cafile=sys.argv[2]) if len(sys.argv) > 2 else None
    try:
        with urllib.request.urlopen(url, context=context, timeout=10) as response:
            sys.stdout.write(response.read().decode())
        return 0
    except urllib.error.URLError as error:
        reason = error.reason
    except OSError as error:
        reason = error
    sys.stderr.write("%s\n" % reason)
    if isinstance(reason, socket.gaierror):
        return 5
    if isinstance(reason, ConnectionAbortedError):
        return 3
    return 4


if __name__ == "__main__":
    sys.exit(main())
