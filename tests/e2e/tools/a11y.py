#!/usr/bin/python3
"""a11y.py: looks at and uses a program's windows through the accessibility bus (AT-SPI), as
a screen reader does.

  a11y.py PID tree [WINDOW]
      One line per control showing in the program's window titled WINDOW (default 墨钉设置):
      role<TAB>name<TAB>state<TAB>value<TAB>description. state is "checked" or "unchecked" for
      what can be checked, "disabled" for what cannot be used, else empty; value is a slider's
      current value.
  a11y.py PID do NAME [ACTION] [WINDOW]
      Performs ACTION (default: the control's first action, e.g. Press or Toggle) on the showing
      control called NAME. Exit 1 when there is none, 3 when it has no such action.
  a11y.py PID set NAME VALUE [WINDOW]
      Sets the value of the showing control called NAME (a slider).

Exit 2 when the program or its window is not on the bus.
"""
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

DEFAULT_WINDOW = "墨钉设置"


def application(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except gi.repository.GLib.GError:
            continue
    return None


def window(app, title):
    for i in range(app.get_child_count()):
        w = app.get_child_at_index(i)
        if w is not None and w.get_name() == title:
            return w
    return None


def showing(node):
    """Every showing descendant of node, in the order the window lays them out."""
    out = []

    def walk(n):
        for i in range(n.get_child_count()):
            c = n.get_child_at_index(i)
            if c is None or not c.get_state_set().contains(Atspi.StateType.SHOWING):
                continue
            out.append(c)
            walk(c)

    walk(node)
    return out


def has(c, interface):
    return interface in (c.get_interfaces() or [])


def describe(c):
    states = c.get_state_set()
    if states.contains(Atspi.StateType.CHECKABLE) or c.get_role() in (
        Atspi.Role.CHECK_BOX,
        Atspi.Role.TOGGLE_BUTTON,
    ):
        state = "checked" if states.contains(Atspi.StateType.CHECKED) else "unchecked"
    elif not states.contains(Atspi.StateType.ENABLED):
        state = "disabled"
    else:
        state = ""
    value = ""
    if has(c, "Value"):
        number = c.get_current_value()
        value = str(int(number)) if float(number).is_integer() else str(number)
    fields = [c.get_role_name(), c.get_name() or "", state, value, c.get_description() or ""]
    return "\t".join(f.replace("\t", " ").replace("\n", " ") for f in fields)


def find(root, name, interface):
    """The showing control called name that has interface; a row's title label carries the
    same name as the control it describes."""
    for c in showing(root):
        if c.get_name() != name or not has(c, interface):
            continue
        if interface != "Action" or c.get_n_actions() > 0:
            return c
    return None


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    pid = int(argv[1])
    command = argv[2]
    rest = argv[3:]
    title = DEFAULT_WINDOW
    if command == "tree" and rest:
        title = rest[0]
    elif command == "do" and len(rest) >= 3:
        title = rest[2]
    elif command == "set" and len(rest) >= 3:
        title = rest[2]
    app = application(pid)
    if app is None:
        sys.stderr.write("a11y: no application with pid %d on the bus\n" % pid)
        return 2
    root = window(app, title)
    if root is None:
        sys.stderr.write("a11y: no window called %s\n" % title)
        return 2
    if command == "tree":
        for c in showing(root):
            print(describe(c))
        return 0
    if command in ("do", "set") and rest:
        control = find(root, rest[0], "Value" if command == "set" else "Action")
        if control is None:
            sys.stderr.write("a11y: nothing showing is called %s\n" % rest[0])
            return 1
        if command == "set":
            if len(rest) < 2 or not has(control, "Value"):
                return 3
            return 0 if control.set_current_value(float(rest[1])) else 1
        if not has(control, "Action") or control.get_n_actions() == 0:
            return 3
        names = [control.get_action_name(i) for i in range(control.get_n_actions())]
        index = 0
        if len(rest) >= 2:
            if rest[1] not in names:
                sys.stderr.write("a11y: %s has only %s\n" % (rest[0], ", ".join(names)))
                return 3
            index = names.index(rest[1])
        return 0 if control.do_action(index) else 1
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
