#!/usr/bin/env python3
"""A loopback relay that records every byte it passes on, and its check.

  record_relay.py LISTEN_PORT TARGET_PORT FOLDER
      Takes connections on 127.0.0.1:LISTEN_PORT, connects each to
      127.0.0.1:TARGET_PORT and writes what the client sent to FOLDER/N.up and
      what the server sent to FOLDER/N.down (N counts connections from 1).
  record_relay.py --check FOLDER SECRET...
      Every recorded stream must start with a TLS handshake record (0x16 0x03),
      and no SECRET may appear in any of them. Exit status 0 when so.
"""
import os
import socket
import sys
import threading


def pump(source, sink, path):
    with open(path, "wb") as out:
        while True:
            try:
                data = source.recv(65536)
            except OSError:
                data = b""
            if not data:
                break
            out.write(data)
            out.flush()
            try:
                sink.sendall(data)
            except OSError:
                break
    for end in (sink, source):
        try:
            end.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def relay(listen_port, target_port, folder):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", listen_port))
    listener.listen(8)
    print("listening", flush=True)
    count = 0
    while True:
        client, _ = listener.accept()
        count += 1
        server = socket.create_connection(("127.0.0.1", target_port))
        base = os.path.join(folder, str(count))
        threading.Thread(target=pump, args=(client, server, base + ".up"), daemon=True).start()
        threading.Thread(target=pump, args=(server, client, base + ".down"), daemon=True).start()


def check(folder, secrets):
    names = sorted(os.listdir(folder))
    ok = bool(names)
    if not names:
        print("relay: nothing was recorded")
    for name in names:
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        if data and not data.startswith(b"\x16\x03"):
            print(f"relay: {name} does not start with a TLS handshake: {data[:8].hex()}")
            ok = False
        for secret in secrets:
            if secret.encode() in data:
                print(f"relay: {name} carries {secret!r} readable")
                ok = False
        print(f"relay: {name}: {len(data)} bytes, starts {data[:2].hex()}")
    return ok


if __name__ == "__main__":
    if sys.argv[1] == "--check":
        sys.exit(0 if check(sys.argv[2], sys.argv[3:]) else 1)
    relay(int(sys.argv[1]), int(sys.argv[2]), sys.argv[3])
