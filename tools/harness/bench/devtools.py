"""gc() in a page over the DevTools protocol, for --gc-minutes."""
import base64
import json
import os
import socket
import urllib.parse
import urllib.request


class DevToolsGc:
    """Calls gc() in the main page of a program started with
    --js-flags=--expose-gc and QTWEBENGINE_REMOTE_DEBUGGING, over one
    DevTools connection kept open for the whole run (a plain WebSocket:
    Python's standard library has no client)."""

    def __init__(self, port):
        self.port = port
        self.sock = None
        self.next_id = 0
        self.calls = []  # (minute, reply)

    def connect(self):
        with urllib.request.urlopen(f"http://127.0.0.1:{self.port}/json", timeout=5) as r:
            targets = json.load(r)
        page = next(t for t in targets if t.get("type") == "page" and "webSocketDebuggerUrl" in t)
        url = urllib.parse.urlparse(page["webSocketDebuggerUrl"])
        sock = socket.create_connection((url.hostname, url.port), timeout=10)
        key = base64.b64encode(os.urandom(16)).decode()
        sock.sendall((f"GET {url.path} HTTP/1.1\r\nHost: {url.netloc}\r\nUpgrade: websocket\r\n"
                      f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n")
                     .encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = sock.recv(4096)
            if not chunk:
                raise OSError("DevTools closed the connection")
            head += chunk
        if b" 101 " not in head.split(b"\r\n", 1)[0]:
            raise OSError("DevTools refused the WebSocket: " + head.split(b"\r\n", 1)[0].decode(errors="replace"))
        self.sock = sock
        self.buf = head.split(b"\r\n\r\n", 1)[1]

    def _recv(self, n):
        while len(self.buf) < n:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise OSError("DevTools closed the connection")
            self.buf += chunk
        out, self.buf = self.buf[:n], self.buf[n:]
        return out

    def _send(self, text):
        data = text.encode()
        mask = os.urandom(4)
        n = len(data)
        head = bytes([0x81]) + (bytes([0x80 | n]) if n < 126 else bytes([0x80 | 126]) + n.to_bytes(2, "big"))
        self.sock.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def _message(self):
        b0, b1 = self._recv(2)
        n = b1 & 0x7F
        if n == 126:
            n = int.from_bytes(self._recv(2), "big")
        elif n == 127:
            n = int.from_bytes(self._recv(8), "big")
        payload = self._recv(n)
        return b0 & 0x0F, payload

    def gc(self, minute):
        try:
            if self.sock is None:
                self.connect()
            self.next_id += 1
            self._send(json.dumps({"id": self.next_id, "method": "Runtime.evaluate", "params": {
                "expression": "typeof gc === 'function' ? (gc(), 'gc') : 'no gc()'", "returnByValue": True}}))
            while True:
                op, payload = self._message()
                if op == 8:
                    raise OSError("DevTools closed the connection")
                if op != 1:
                    continue
                msg = json.loads(payload)
                if msg.get("id") == self.next_id:
                    reply = msg.get("result", {}).get("result", {}).get("value") or str(msg)[:200]
                    break
        except (OSError, ValueError, StopIteration) as e:
            reply = f"failed: {e}"
            if self.sock:
                self.sock.close()
            self.sock = None
        self.calls.append((minute, reply))
        return reply

    def close(self):
        if self.sock:
            self.sock.close()
