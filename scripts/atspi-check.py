#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Drives the desktop program the way a screen reader sees it, over the AT-SPI accessibility bus.

Started by scripts/check-accessibility.sh inside the network lab, on an Xvfb display and a D-Bus
session of its own, with the simulated devices of docs/demo-devices.json in the lab. It starts the
program, finds its window on the accessibility bus, presses "Scan / Refresh" through the button's
action interface, reads the device table through the table interface (column headers and every
cell), walks down the table with the arrow key to a row, opens its context menu with the Menu key,
opens the network settings dialog with Ctrl+E, reads the names, labels and descriptions of the
dialog's inputs, and closes everything again. Prints what it reads; exits 1 on the first thing that
is missing.

Usage: atspi-check.py PROGRAM EXPECTED_ROWS
"""

import os
import subprocess
import sys
import time

import pyatspi

APP_TITLE = "Veltra Device Finder"
COLUMNS = ["Device", "Firmware", "Hostname", "IP Address", "IP config.", "MAC Address", "Status"]
EDITED_DEVICE = "02:5A:00:00:10:01"
KEY_DOWN = 0xFF54  # the keysym of the down arrow
DIALOG_FIELDS = ["Hostname:", "IP configuration:", "IP address:", "Subnet mask:", "Domain:",
                 "Gateway IP:", "Primary DNS server:", "Secondary DNS server:"]


def fail(message):
    print(f"atspi-check: FAIL: {message}", flush=True)
    sys.exit(1)


def wait_for(what, probe, timeout=15.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(0.2)
    fail(f"{what} did not appear within {timeout:.0f} s")


def descendants(node, depth=0):
    if node is None or depth > 30:
        return
    yield node
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:  # a child that went away while walking
            continue
        yield from descendants(child, depth + 1)


def find(node, role, name=None):
    for item in descendants(node):
        if item.getRole() == role and (name is None or item.name == name):
            return item
    return None


def find_all(node, role):
    return [item for item in descendants(node) if item.getRole() == role]


def press(button):
    action = button.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click"):
            action.doAction(i)
            return
    action.doAction(0)


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def program_windows(pid):
    """The visible windows of the process on the display."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid), "."],
                           capture_output=True, text=True).stdout
    return set(found.split())


def labelled_by(node):
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY and relation.getNTargets() > 0:
            return relation.getTarget(0).name
    return ""


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    program, expected_rows = sys.argv[1], int(sys.argv[2])
    env = dict(os.environ, QT_ACCESSIBILITY="1", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    process = subprocess.Popen([program], env=env)
    try:
        app = wait_for("the program on the accessibility bus", lambda: application(process.pid))
        frame = wait_for("its main window", lambda: find(app, pyatspi.ROLE_FRAME, APP_TITLE))
        print(f"window: {frame.name!r} ({frame.getRoleName()})")

        buttons = [b.name for b in find_all(frame, pyatspi.ROLE_PUSH_BUTTON)]
        print(f"tool bar buttons: {buttons}")
        for name in ("Scan / Refresh", "Edit network settings", "About"):
            if name not in buttons:
                fail(f"no button {name!r}")

        table = find(frame, pyatspi.ROLE_TABLE)
        if table is None:
            fail("no table")
        print(f"table: name {table.name!r}, description {table.description!r}")
        if table.name != "Devices":
            fail("the table has no name")

        press(find(frame, pyatspi.ROLE_PUSH_BUTTON, "Scan / Refresh"))
        cells = table.queryTable()
        wait_for(f"{expected_rows} rows", lambda: cells.nRows == expected_rows, timeout=10)
        time.sleep(3.5)  # past the scan's count check, which marks the incomplete rows
        headers = [cells.getColumnDescription(c) for c in range(cells.nColumns)]
        print(f"columns: {headers}")
        if headers != COLUMNS:
            fail(f"columns {headers}, expected {COLUMNS}")
        print(f"rows: {cells.nRows}")
        marks = {}
        for row in range(cells.nRows):
            row_cells = [cells.getAccessibleAt(row, column) for column in range(cells.nColumns)]
            texts = [cell.name for cell in row_cells]
            # A conflict mark is read as the cell's description; shown here in brackets.
            print("  " + " | ".join(c.name + (f" [{c.description}]" if c.description else "") for c in row_cells))
            for cell in row_cells:
                if cell.description:
                    marks[cell.description] = marks.get(cell.description, 0) + 1
            if not texts[COLUMNS.index("MAC Address")]:
                fail(f"row {row} has no MAC address text")
        # The demo's devices hold one pair with the same IP address and one with the same host name.
        print(f"conflict marks read: {marks}")
        if marks.get("IP conflict!") != 2 or marks.get("Hostname conflict!") != 2:
            fail("the conflict marks are not read as the cells' descriptions")

        # Walk down the table with the arrow key, as a keyboard user does, to a device's row; then
        # edit it with the tool bar's button.
        mac_column = COLUMNS.index("MAC Address")
        # Without a window manager on the display nothing gives the window the input focus, as a
        # click on it would on a desktop: xdotool does.
        if not frame.getState().contains(pyatspi.STATE_ACTIVE):
            subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{APP_TITLE}$", "windowfocus"],
                           check=True)
            wait_for("the window active", lambda: frame.getState().contains(pyatspi.STATE_ACTIVE))
        if not table.getState().contains(pyatspi.STATE_FOCUSED):
            table.queryComponent().grabFocus()
        wait_for("the table focused", lambda: table.getState().contains(pyatspi.STATE_FOCUSED))
        for _ in range(cells.nRows):
            pyatspi.Registry.generateKeyboardEvent(KEY_DOWN, None, pyatspi.KEY_SYM)
            time.sleep(0.3)
            selected = list(cells.getSelectedRows())
            if len(selected) == 1 and cells.getAccessibleAt(selected[0], mac_column).name == EDITED_DEVICE:
                break
        else:
            fail(f"the arrow key did not reach the row of {EDITED_DEVICE}")
        print(f"selected with the arrow key: row {selected[0]} ({EDITED_DEVICE})")

        # The Menu key opens the table's context menu. Qt lists no pop-up among an application's
        # children (a screen reader follows a menu by its focus events), so the check looks for
        # the menu's window on the display: a new window of the program, with the first item
        # focused, closed again by Escape.
        before = program_windows(process.pid)
        subprocess.run(["xdotool", "key", "Menu"], check=True)
        popup = wait_for("the context menu", lambda: program_windows(process.pid) - before)
        print(f"context menu (Menu key): window {sorted(popup)[0]} opened")
        subprocess.run(["xdotool", "key", "Escape"], check=True)
        wait_for("the context menu closed", lambda: not (program_windows(process.pid) - before))

        edit = find(frame, pyatspi.ROLE_PUSH_BUTTON, "Edit network settings")
        wait_for("the edit button enabled", lambda: edit.getState().contains(pyatspi.STATE_ENABLED))
        # Its shortcut rather than its action: the dialog runs modally, and the action's call over
        # the bus would return only once the dialog is closed.
        subprocess.run(["xdotool", "key", "ctrl+e"], check=True)
        dialog = wait_for("the network settings dialog",
                          lambda: find(app, pyatspi.ROLE_DIALOG, "Connection properties"))
        print(f"dialog: {dialog.name!r}")
        seen = []
        for node in descendants(dialog):
            role = node.getRole()
            if role in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_COMBO_BOX):
                label = labelled_by(node)
                name = node.name
                shown = label if role == pyatspi.ROLE_COMBO_BOX else name
                print(f"  {node.getRoleName()}: name {name!r}, labelled by {label!r}, "
                      f"description {node.description!r}")
                seen.append(shown)
        if seen != DIALOG_FIELDS:
            fail(f"dialog inputs {seen}, expected {DIALOG_FIELDS}")
        press(find(dialog, pyatspi.ROLE_PUSH_BUTTON, "Cancel"))
        wait_for("the dialog closed", lambda: find(app, pyatspi.ROLE_DIALOG, "Connection properties") is None)
        print("atspi-check: ok", flush=True)
        return 0
    finally:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()


if __name__ == "__main__":
    sys.exit(main())
