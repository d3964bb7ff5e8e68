#!/usr/bin/python3
"""The README's five-minute walk, done by a script as a user does it: through
the window's accessibility interface (AT-SPI), the pointer and the keyboard.

Run by scripts/readme-walk.sh, which starts Xvfb, a D-Bus session with the
accessibility bus, devsim with a control fifo and rvservice. Arguments: the
bench folder (devsim's --link folder with its "control" fifo), the folder for
the screenshots and the document to save. Each step prints what it did and
what the window answered; any step that does not get its answer stops the
walk with an error.
"""
import os
import subprocess
import sys
import time

import pyatspi

BENCH, SHOTS, DOCUMENT = sys.argv[1:4]


# ---- finding and working the window's controls ---------------------------------

def application(name="rvservice", timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        for a in pyatspi.Registry.getDesktop(0):
            if a is not None and a.name == name:
                return a
        time.sleep(0.2)
    raise SystemExit("rvservice did not appear on the accessibility bus")


def nodes(root):
    stack = [root]
    while stack:
        a = stack.pop()
        if a is None:
            continue
        yield a
        try:
            stack.extend(reversed(list(a)))
        except Exception:
            pass


def showing(a):
    return a.getState().contains(pyatspi.STATE_SHOWING)


def find(root, role, name, timeout=10, visible=True):
    end = time.time() + timeout
    while True:
        for a in nodes(root):
            try:
                if a.getRoleName() == role and a.name == name and (not visible or showing(a)):
                    return a
            except Exception:
                pass
        if time.time() > end:
            raise SystemExit(f"not found: {role} {name!r}")
        time.sleep(0.2)


def window(app, role, title, timeout=10):
    return find(app, role, title, timeout)


def act(a, action):
    iface = a.queryAction()
    names = [iface.getName(i) for i in range(iface.nActions)]
    iface.doAction(names.index(action))


def press(a):
    a.queryAction().doAction(0)


def enabled(a):
    return a.getState().contains(pyatspi.STATE_ENABLED)


def press_opening_dialog(frame_title, role, name):
    """Presses a control that opens a modal dialog. The press is answered
    only when the dialog closes, so another process makes it."""
    code = (
        "import sys; sys.argv[1:4] = ['', '', '']\n"
        f"sys.path.insert(0, {os.path.dirname(os.path.abspath(__file__))!r})\n"
        "import readme_walk as w\n"
        f"w.press(w.find(w.find(w.application(), 'frame', {frame_title!r}), {role!r}, {name!r}))\n")
    return subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def xdo(*args):
    subprocess.run(["xdotool", *args], check=True)


def click(a):
    x, y, w, h = a.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    xdo("mousemove", str(x + w // 2), str(y + h // 2))
    time.sleep(0.2)
    xdo("click", "1")
    time.sleep(0.3)


def choose(combo, item):
    """Opens a combo box's list and clicks an item in it."""
    act(combo, "ShowMenu")
    time.sleep(0.5)
    click(find(combo, "list item", item))
    time.sleep(0.5)


def type_into(edit, text):
    """Clicks into an edit, replaces its text by typing and leaves it with Tab."""
    click(edit)
    xdo("key", "ctrl+a")
    xdo("type", "--delay", "30", text)
    xdo("key", "Tab")
    time.sleep(0.3)


def text_of(a):
    return a.queryText().getText(0, -1)


def console(app):
    return text_of(find(app, "text", "Сообщения"))


def wait_console(app, text, timeout=15):
    end = time.time() + timeout
    while time.time() < end:
        if text in console(app):
            return
        time.sleep(0.3)
    raise SystemExit(f"the console did not say {text!r}; it holds:\n{console(app)}")


def bench(command):
    with open(os.path.join(BENCH, "control"), "w") as fifo:
        fifo.write(command + "\n")


shot_number = 0


def screenshot(a, name):
    """The window around `a`, as a PNG in the screenshot folder."""
    global shot_number
    while a.parent is not None and a.parent.getRoleName() != "application":
        a = a.parent
    x, y, w, h = a.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    shot_number += 1
    path = os.path.join(SHOTS, f"{shot_number:02d}-{name}.png")
    subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", path], check=True)
    print(f"   screenshot {path}")


def step(text):
    print(f"-- {text}", flush=True)


# ---- the walk --------------------------------------------------------------------

# The flows of the calibration points (m³/h) and what the simulated
# transducer's pulse output gives at each (Hz): a slightly bent line, so the
# fit has something to do.
POINTS = [(0.5, 47.0), (1.0, 98.0), (2.0, 201.0), (4.0, 405.0), (8.0, 812.0)]
TITLE_EMPTY = "Ralvo-Cервис []"


def main():
    os.makedirs(SHOTS, exist_ok=True)
    app = application()
    frame = window(app, "frame", TITLE_EMPTY, timeout=20)

    step("Файл → Новый: the device tree, КЕЛТ-ЧИ2-xxx, OK")
    opener = press_opening_dialog(TITLE_EMPTY, "push button", "Новый")
    new_doc = window(app, "dialog", "Создать новый документ")
    tree = find(new_doc, "tree", "Тип прибора")
    cell = find(tree, "table cell", "КЕЛТ-ЧИ2-xxx")
    tree.queryTable().addRowSelection(tree.queryTable().getRowAtIndex(cell.getIndexInParent()))
    screenshot(new_doc, "new-document")
    press(find(new_doc, "push button", "OK"))
    opener.wait(10)
    find(frame, "page tab", "КЕЛТ-ЧИ2-xxx")

    step("the Kelt page: the simulated port, Считать")
    choose(find(frame, "combo box", "COM-порт"), os.path.join(BENCH, "kelt"))
    press(find(frame, "push button", "Считать"))
    wait_console(app, "Параметры считаны")
    print("   A1 =", text_of(find(frame, "text", "A1")), " F12 =", text_of(find(frame, "text", "F12, Гц")))
    screenshot(frame, "kelt-page-read")

    step("Пакеты → Новый пакет: a calibration package by the volume method")
    opener = press_opening_dialog(TITLE_EMPTY, "push button", "Новый пакет")
    new_package = window(app, "dialog", "Создать пакет")
    for choice in ("Градуировочный", "Объёмный"):
        if not find(new_package, "radio button", choice).getState().contains(pyatspi.STATE_CHECKED):
            raise SystemExit(f"the new package dialog does not propose {choice!r}")
    press(find(new_package, "push button", "OK"))
    opener.wait(10)
    package_tab = [t for t in nodes(frame) if t.getRoleName() == "page tab" and t.name.startswith("Градуировочный")]
    if not package_tab:
        raise SystemExit("no calibration package tab")
    print("   tab", package_tab[0].name)

    step("Пакеты → Ввод с НИВ-2.3: the simulated instrument, 5 s measurements")
    press(find(frame, "menu item", "Ввод с НИВ-2.3", visible=False))
    nivor = window(app, "dialog", "НИВ-2.3")
    choose(find(nivor, "combo box", "COM-порт"), os.path.join(BENCH, "nivor"))
    end = time.time() + 10
    while not text_of(find(nivor, "label", "Напряжение питания, В")) and time.time() < end:
        time.sleep(0.3)
    print("   supply voltage", text_of(find(nivor, "label", "Напряжение питания, В")))
    start = find(nivor, "push button", "Старт")
    for flow, frequency in POINTS:
        bench(f"nivor freq1 {frequency}")
        time.sleep(0.5)
        press(start)
        time.sleep(1.5)
        end = time.time() + 20
        while not enabled(start) and time.time() < end:
            time.sleep(0.3)
        if not enabled(start):
            raise SystemExit("the measurement did not end")
        seconds = float(text_of(find(nivor, "label", "Tэт, сек")).replace(",", "."))
        pulses = text_of(find(nivor, "label", "N1, имп"))
        litres = flow * seconds / 3.6
        type_into(find(nivor, "text", "Vэт, л"), f"{litres:.3f}")
        if flow == POINTS[2][0]:
            screenshot(nivor, "nivor-measured")
        press(find(nivor, "push button", "Добавить в пакет"))
        time.sleep(0.5)
        print(f"   {flow} m³/h: Tэт {seconds} s, N1 {pulses} pulses, Vэт {litres:.3f} l added")
    click(find(nivor, "label", "Tэт, сек:"))
    xdo("key", "Escape")
    time.sleep(0.5)
    screenshot(frame, "package-entries")

    step("Аппроксимация → Аппроксимация")
    press(find(frame, "push button", "Аппроксимация"))
    time.sleep(1.5)
    print("   console:", console(app).strip().splitlines()[-3:])

    step("Графики")
    press(find(frame, "push button", "Графики"))
    time.sleep(1.5)
    graphs = window(app, "filler", "График")
    screenshot(graphs, "graphs")
    # There is no window manager under Xvfb to close it with: take it off
    # the screen as a minimised window would be.
    xdo("search", "--name", "^График$", "windowunmap")
    time.sleep(0.5)

    step("the Kelt page: the new coefficients, Записать")
    press(find(frame, "page tab", "КЕЛТ-ЧИ2-xxx"))
    time.sleep(0.5)
    print("   A1 =", text_of(find(frame, "text", "A1")), " F12 =", text_of(find(frame, "text", "F12, Гц")))
    press(find(frame, "push button", "Записать"))
    wait_console(app, "Параметры записаны")
    screenshot(frame, "kelt-page-written")

    step("Отчёт")
    press(package_tab[0])
    time.sleep(0.3)
    press(find(frame, "push button", "Отчёт"))
    time.sleep(2)
    print("   console:", console(app).strip().splitlines()[-1:])

    step(f"Файл → Сохранить as {DOCUMENT}")
    title = frame.name
    opener = press_opening_dialog(title, "push button", "Сохранить")
    time.sleep(1.5)
    save = [w for w in app if w.getRoleName() == "dialog" and showing(w)][0]
    screenshot(save, "save-dialog")
    name_edit = [e for e in nodes(save) if e.getRoleName() == "text" and showing(e) and e.getState().contains(pyatspi.STATE_EDITABLE)]
    type_into(name_edit[-1], DOCUMENT)
    xdo("key", "Return")
    opener.wait(10)
    end = time.time() + 10
    while frame.name == title and time.time() < end:
        time.sleep(0.3)
    print("   title:", frame.name)
    screenshot(frame, "saved")


if __name__ == "__main__" and BENCH:
    main()
