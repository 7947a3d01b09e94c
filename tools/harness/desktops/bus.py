"""What the session bus shows: dbus-monitor's record of the tray menu and
the notification server, the stand-ins' logs and dumps, who owns a name.
"""
import json
import os
import re

from ..common import read, run
from .session import BIN


# ---- the session bus as dbus-monitor prints it ------------------------------

def parse_monitor(text):
    """The messages of dbus-monitor's default output: dicts with the header
    fields (kind, sender, destination, serial, reply_serial, path, interface,
    member) and args, a list of the top-level arguments (strings and numbers
    as values, arrays as lists, dict entries as pairs)."""
    msgs = []
    head = re.compile(r"^(method call|method return|signal|error) time=\S+ (.*)$")
    stack = None
    for line in text.splitlines():
        m = head.match(line)
        if m:
            msg = {"kind": m.group(1)}
            for k, v in re.findall(r"(\w+)=([^ ;]+)", m.group(2)):
                msg[k] = v
            msg["args"] = []
            msgs.append(msg)
            stack = [msg["args"]]
            continue
        if stack is None or not line.strip():
            continue
        item = line.strip()
        if item in ("]", ")"):
            if len(stack) > 1:
                stack.pop()
            continue
        if item.startswith("array [") or item.startswith("dict entry(") or item.startswith("struct {"):
            new = []
            stack[-1].append(new)
            if not item.endswith("]"):  # "array [\n" opens; "array [ ]" is empty
                stack.append(new)
            continue
        if item == "}":
            if len(stack) > 1:
                stack.pop()
            continue
        sm = re.match(r'^(?:variant\s+)?string "(.*)"$', item)
        if sm:
            stack[-1].append(sm.group(1).replace('\\"', '"'))
            continue
        nm = re.match(r"^(?:variant\s+)?(?:u?int\d+|byte|double|boolean)\s+(\S+)$", item)
        if nm:
            v = nm.group(1)
            stack[-1].append(v == "true" if v in ("true", "false") else float(v) if "." in v else int(v))
            continue
        if item.startswith('"') and msgs and msgs[-1]["kind"] == "error":
            stack[-1].append(item.strip('"'))
    return msgs


def notify_events(msgs):
    """The Notify calls (with the id the server gave), CloseNotification
    calls and the server's signals, in the form lckb-notifyd logs them."""
    out, calls, open_ids = [], {}, set()
    for m in msgs:
        # Calls to the well-known name only: GNOME's gjs daemon passes each
        # on to the shell by its unique name.
        if (m.get("interface") == "org.freedesktop.Notifications" and m["kind"] == "method call"
                and m.get("destination") == "org.freedesktop.Notifications"):
            a = m["args"]
            if m.get("member") == "Notify" and len(a) >= 8:
                hints = {}
                for entry in a[6] if isinstance(a[6], list) else []:
                    if isinstance(entry, list) and len(entry) == 2:
                        hints[entry[0]] = entry[1]
                ev = {"call": "Notify", "app_name": a[0], "summary": a[3], "body": a[4], "actions": a[5],
                      "hints": hints, "timeout": a[7], "sender": m.get("sender")}
                calls[(m.get("sender"), m.get("serial"))] = ev
                out.append(ev)
            elif m.get("member") == "CloseNotification" and a:
                out.append({"call": "CloseNotification", "id": a[0]})
                open_ids.discard(a[0])
        elif m["kind"] == "method return":
            ev = calls.pop((m.get("destination"), m.get("reply_serial")), None)
            if ev is not None and m["args"]:
                ev["id"] = m["args"][0]
                open_ids.add(ev["id"])
                ev["open"] = len(open_ids)
        elif m["kind"] == "signal" and m.get("interface") == "org.freedesktop.Notifications":
            out.append({"signal": m.get("member"), "args": m["args"]})
            if m.get("member") == "NotificationClosed" and m["args"]:
                open_ids.discard(m["args"][0])
    return out


class BusMixin:
    """Reading the row's session bus."""

    def monitored(self):
        return parse_monitor(read(self.path("monitor.log")))

    def layout_updates(self, sender=None):
        return [m for m in self.monitored() if m["kind"] == "signal" and m.get("member") == "LayoutUpdated"
                and (sender is None or m.get("sender") == sender)]

    def property_updates(self, sender=None):
        return [m for m in self.monitored() if m["kind"] == "signal" and m.get("member") == "ItemsPropertiesUpdated"
                and (sender is None or m.get("sender") == sender)]

    def bus_name_owner(self, name):
        rc, out, _ = run(["gdbus", "call", "--session", "-d", "org.freedesktop.DBus", "-o", "/org/freedesktop/DBus",
                          "-m", "org.freedesktop.DBus.GetNameOwner", name], self.env, timeout=5)
        m = re.search(r"'(:[\d.]+)'", out) if rc == 0 else None
        return m.group(1) if m else None

    def watcher_ready(self):
        rc, out, _ = run(["gdbus", "call", "--session", "-d", "org.kde.StatusNotifierWatcher", "-o",
                          "/StatusNotifierWatcher", "-m", "org.freedesktop.DBus.Properties.Get",
                          "org.kde.StatusNotifierWatcher", "IsStatusNotifierHostRegistered"], self.env, timeout=5)
        return rc == 0 and "true" in out

    def events(self, name):
        out = []
        for line in read(self.path(name + ".jsonl")).splitlines():
            try:
                out.append(json.loads(line))
            except ValueError:
                pass
        return out

    def tool(self, binary, *args, timeout=15):
        return run([os.path.join(BIN, binary)] + list(args), self.env, timeout=timeout)

    def sni_dump(self):
        rc, out, err = self.tool("lckb-sni-host", "dump")
        try:
            return json.loads(out) if rc == 0 else None
        except ValueError:
            return None

    def notify_log(self):
        """What the notification server was told: the stand-in's own log, or
        on a real desktop what dbus-monitor saw."""
        if self.row.shell:
            return notify_events(self.monitored())
        return self.events("notify")
