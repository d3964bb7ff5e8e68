"""Reads the windows of AccessibleWindows as a screen reader does, over
AT-SPI, and checks them against what the program says it shows:

  python3 check_names.py PROGRAM [TRANSCRIPT]

Every showing button, check box, radio button, tab and labelled control has
an accessible name that begins with its caption or label; every combo box
gives its current item as its text, and the new item once it is changed.
With TRANSCRIPT, what a screen reader hears of the RV page's top bar is
written there. Exits 0 when all is well, 1 with the faults listed."""

import subprocess
import sys
import time

import pyatspi

ROLES = {
    "button": {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_RADIO_BUTTON,
               pyatspi.ROLE_TOGGLE_BUTTON},
    "tab": {pyatspi.ROLE_PAGE_TAB},
    "combo": {pyatspi.ROLE_COMBO_BOX},
}


def read_dump(stream):
    entries = []
    for line in stream:
        line = line.rstrip("\n")
        if line == "dumped":
            return entries
        kind, x, y, w, h, caption = line.split("\t", 5)
        entries.append((kind, (int(x), int(y), int(w), int(h)), caption))
    raise SystemExit("AccessibleWindows ended before its dump")


def find_application(pid):
    for _ in range(100):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == pid:
                return app
        time.sleep(0.1)
    raise SystemExit("AccessibleWindows did not show up on the accessibility bus")


def walk(node, found):
    for child in node:
        if child is None:
            continue
        if child.getState().contains(pyatspi.STATE_SHOWING):
            try:
                e = child.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                found.setdefault((e.x, e.y, e.width, e.height), []).append(child)
            except NotImplementedError:
                pass
        walk(child, found)


def objects_by_rect(app):
    found = {}
    walk(app, found)
    return found


def within(inner, outer):
    x, y, w, h = inner
    ox, oy, ow, oh = outer
    return w > 0 and h > 0 and ox <= x and oy <= y and x + w <= ox + ow and y + h <= oy + oh


def item_text(acc):
    try:
        return acc.queryText().getText(0, -1)
    except NotImplementedError:
        return None


def check(entries, found, combos_only=False):
    faults = []
    for kind, rect, caption in entries:
        if combos_only and kind != "combo":
            continue
        # A container the size of its only control comes first: the control
        # is the deepest of one rect.
        candidates = [a for a in found.get(rect, []) if kind == "labelled" or a.getRole() in ROLES[kind]]
        if not candidates and kind == "button":
            # Qt gives a check box or a radio button the rect of its box and
            # caption, inside the widget's.
            candidates = [a for r, accs in found.items() if within(r, rect) for a in accs
                          if a.getRole() in ROLES[kind]]
        if not candidates:
            faults.append(f"{kind} \"{caption}\" at {rect}: not found over AT-SPI")
            continue
        acc = candidates[-1]
        if kind == "combo":
            text = item_text(acc)
            if text != caption:
                faults.append(f"combo \"{acc.name}\" at {rect} gives {text!r}, shows \"{caption}\"")
        elif not acc.name.startswith(caption):
            faults.append(f"{kind} \"{caption}\" at {rect} is named \"{acc.name}\"")
    return faults


def transcript(app):
    """What Orca would say of the RV page's top bar, control by control."""
    page = None
    for window in app:
        # The bar holds the panel "Сброс имп.", which no other window has.
        for node in pyatspi.findAllDescendants(window, lambda a: a.name == "Сброс имп."):
            page = node.parent
            break
        if page:
            break
    lines = []
    if page is None:
        return ["(the RV page's top bar was not found)"]
    for child in page:
        if child is None or not child.getState().contains(pyatspi.STATE_SHOWING):
            continue
        role = child.getRoleName()
        if role in ("filler", "panel"):
            continue
        states = [pyatspi.stateToString(s) for s in child.getState().getStates()
                  if s in (pyatspi.STATE_CHECKED, pyatspi.STATE_PRESSED, pyatspi.STATE_FOCUSABLE,
                           pyatspi.STATE_ENABLED)]
        text = item_text(child) if child.getRole() in (pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_LABEL) else None
        parts = [f"\"{child.name}\"", role]
        if text:
            parts.append(f"value \"{text}\"")
        if states:
            parts.append(", ".join(states))
        if child.description:
            parts.append(f"description \"{child.description}\"")
        lines.append("; ".join(parts))
    return lines


def main():
    program = sys.argv[1]
    proc = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        entries = read_dump(proc.stdout)
        app = find_application(proc.pid)
        found = objects_by_rect(app)
        faults = check(entries, found)
        if len(sys.argv) > 2:
            with open(sys.argv[2], "w", encoding="utf-8") as f:
                f.write("\n".join(transcript(app)) + "\n")
        proc.stdin.write("next\n")
        proc.stdin.flush()
        changed = read_dump(proc.stdout)
        if changed == entries:
            faults.append("no combo box changed its item")
        faults += check(changed, found, combos_only=True)
    finally:
        proc.stdin.close()
        proc.wait(timeout=10)
    counts = {}
    for kind, _, _ in entries:
        counts[kind] = counts.get(kind, 0) + 1
    print("checked over AT-SPI:", ", ".join(f"{n} {k}" for k, n in sorted(counts.items())))
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
