#!/usr/bin/python3
"""A program offering commands to Kelvray scripts.

Kelvray's "DDE" script item calls the method Execute(s) of the interface named like the
application, on the object the topic names. This service owns the bus name
org.example.Editor and answers on the topic "docs": a script item with application
"org.example.Editor", topic "docs" and command "open report.txt" makes it print
"docs: open report.txt".

Run it with:  /usr/bin/python3 examples/command_service.py [bus name] [topic]
(Debian packages python3-gi and gir1.2-glib-2.0.)
"""
import sys

from gi.repository import Gio, GLib

NAME = sys.argv[1] if len(sys.argv) > 1 else "org.example.Editor"
TOPIC = sys.argv[2] if len(sys.argv) > 2 else "docs"

INTERFACE = f"""
<node>
  <interface name="{NAME}">
    <method name="Execute">
      <arg type="s" name="command" direction="in"/>
    </method>
  </interface>
</node>
"""


def on_call(connection, sender, path, interface, method, parameters, invocation):
    (command,) = parameters.unpack()
    print(f"{TOPIC}: {command}", flush=True)
    invocation.return_value(None)


def on_bus(connection, name):
    info = Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0]
    connection.register_object("/" + TOPIC, info, on_call, None, None)


def on_name(connection, name):
    print("ready", flush=True)


Gio.bus_own_name(Gio.BusType.SESSION, NAME, Gio.BusNameOwnerFlags.NONE, on_bus, on_name, None)
GLib.MainLoop().run()
