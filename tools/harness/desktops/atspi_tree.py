"""Prints, as JSON, what a screen reader reads of one application over
AT-SPI: its windows and their children (role, name, description, showing,
focused, extents on the desktop). Run by Debian's own python3, which has
pyatspi: python3 atspi_tree.py APPLICATION-NAME
"""
import json
import sys

import pyatspi


def node(o, depth):
    st = o.getState()
    e = o.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    n = {"role": o.getRoleName(), "name": o.name or "", "description": o.description or "",
         "showing": st.contains(pyatspi.STATE_SHOWING), "focused": st.contains(pyatspi.STATE_FOCUSED),
         "extents": [e.x, e.y, e.width, e.height]}
    if depth > 0:
        n["children"] = [node(c, depth - 1) for c in (o.getChildAtIndex(i) for i in range(o.childCount)) if c]
    return n


def main():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        a = desktop.getChildAtIndex(i)
        if a is not None and a.name == sys.argv[1]:
            print(json.dumps({"windows": [node(w, 1) for w in (a.getChildAtIndex(k) for k in range(a.childCount))
                                          if w]}, ensure_ascii=False))
            return 0
    print(json.dumps({"windows": None}))
    return 1


if __name__ == "__main__":
    sys.exit(main())
