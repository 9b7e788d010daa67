#!/usr/bin/env python3
"""A stand-in for SQL Server's front door, for the tests of Varid's connection strings.

It answers one TDS connection far enough to receive the login packet (pre-login: no
encryption), decodes that packet and prints what FreeTDS sent: the login name, the
password's length and whether it equals --expect-password, the server name and the
database. With --browser it also answers SQL Server's browser service on UDP (port 1434 of
--host) for --instance, naming the TCP port it listens on, as a named instance's server does.
It never completes a login: it closes the connection after reading it, or first refuses
it with --refuse as SQL Server would (18456: a wrong password; 4060: a missing database).

    tds_peer.py --port N [--browser --instance NAME] [--expect-password P] [--timeout S]
                [--refuse NUMBER MESSAGE]
"""
import argparse
import socket
import struct
import sys
import threading


def read_packet(conn):
    head = b""
    while len(head) < 8:
        chunk = conn.recv(8 - len(head))
        if not chunk:
            raise EOFError("closed")
        head += chunk
    kind, _status, length = struct.unpack(">BBH", head[:4])
    body = b""
    while len(body) < length - 8:
        chunk = conn.recv(length - 8 - len(body))
        if not chunk:
            raise EOFError("closed")
        body += chunk
    return kind, body


def prelogin_reply():
    # VERSION (6 bytes) and ENCRYPTION (1 byte: 2, not supported), then the terminator.
    options = struct.pack(">BHH", 0x00, 11, 6) + struct.pack(">BHH", 0x01, 17, 1) + b"\xff"
    data = options + bytes([15, 0, 0x07, 0xD0, 0, 0]) + bytes([2])
    return struct.pack(">BBHHBB", 0x04, 0x01, 8 + len(data), 0, 1, 0) + data


def unobfuscate(raw):
    out = bytearray()
    for b in raw:
        b ^= 0xA5
        out.append(((b & 0x0F) << 4) | (b >> 4))
    return bytes(out)


def field(body, index, password=False):
    offset, count = struct.unpack("<HH", body[36 + 4 * index: 40 + 4 * index])
    raw = body[offset: offset + 2 * count]
    if password:
        raw = unobfuscate(raw)
    return raw.decode("utf-16-le")


def browser(host, instance, tcp_port, stop):
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    udp.bind((host, 1434))
    udp.settimeout(0.5)
    while not stop.is_set():
        try:
            data, addr = udp.recvfrom(1024)
        except socket.timeout:
            continue
        print("browser asked for instance %s" % data[1:].split(b"\0")[0].decode("ascii", "replace"), flush=True)
        text = ("ServerName;PEER;InstanceName;%s;IsClustered;No;Version;15.0.2000.5;tcp;%d;;" % (instance, tcp_port)).encode("ascii")
        udp.sendto(b"\x05" + struct.pack("<H", len(text)) + text, addr)
    udp.close()


def refusal(number, message, server="PEER"):
    """A login refused as SQL Server refuses it: an ERROR token, then DONE with its error bit."""
    def us(text):
        raw = text.encode("utf-16-le")
        return struct.pack("<H", len(text)) + raw

    def b(text):
        raw = text.encode("utf-16-le")
        return struct.pack("<B", len(text)) + raw

    body = struct.pack("<iBB", number, 1, 14) + us(message) + b(server) + b("") + struct.pack("<i", 1)
    tokens = b"\xaa" + struct.pack("<H", len(body)) + body
    tokens += b"\xfd" + struct.pack("<HHQ", 0x0002, 0, 0)
    return struct.pack(">BBHHBB", 0x04, 0x01, 8 + len(tokens), 0, 1, 0) + tokens


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--browser", action="store_true")
    p.add_argument("--instance", default="SQLEXPRESS")
    p.add_argument("--expect-password", default=None)
    p.add_argument("--timeout", type=float, default=60)
    p.add_argument("--refuse", nargs=2, metavar=("NUMBER", "MESSAGE"),
                   help="answer the login with this error, as SQL Server does")
    a = p.parse_args()

    tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    tcp.bind((a.host, a.port))
    tcp.listen(1)
    tcp.settimeout(a.timeout)
    stop = threading.Event()
    if a.browser:
        threading.Thread(target=browser, args=(a.host, a.instance, a.port, stop), daemon=True).start()
    print("listening on %s port %d" % (a.host, a.port), flush=True)
    try:
        conn, _ = tcp.accept()
    except socket.timeout:
        print("no connection", flush=True)
        return 1
    conn.settimeout(a.timeout)
    try:
        kind, _ = read_packet(conn)
        if kind == 0x12:  # pre-login
            conn.sendall(prelogin_reply())
            kind, body = read_packet(conn)
        else:
            body = _
        if kind != 0x10:
            print("no login packet (type %d)" % kind, flush=True)
            return 1
        user = field(body, 1)
        password = field(body, 2, password=True)
        print("login name: %s" % user, flush=True)
        print("password length: %d" % len(password), flush=True)
        if a.expect_password is not None:
            print("password as given: %s" % ("yes" if password == a.expect_password else "no"), flush=True)
        print("server name: %s" % field(body, 4), flush=True)
        print("database: %s" % field(body, 8), flush=True)
        if a.refuse:
            conn.sendall(refusal(int(a.refuse[0]), a.refuse[1]))
            try:
                conn.recv(1)  # until the client gives up
            except (socket.timeout, OSError):
                pass
    except (EOFError, socket.timeout, struct.error) as e:
        print("broken connection: %s" % e, flush=True)
        return 1
    finally:
        conn.close()
        stop.set()
    return 0


if __name__ == "__main__":
    sys.exit(main())
