#!/usr/bin/python3
"""Exports random tasks as iCalendar and checks, with python3-icalendar and dateutil's rrule,
that every event expands to the occurrences `kelvray-cli next --task` gives over the next year.

    ics_export_check.py KELVRAY_CLI WORKDIR [SEED]
"""
import datetime
import os
import random
import re
import subprocess
import sys

import icalendar
from dateutil import rrule

cli, work = sys.argv[1], sys.argv[2]
rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 23)
data = os.path.join(work, "data")
env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"))
env.pop("DBUS_SESSION_BUS_ADDRESS", None)
os.makedirs(data, exist_ok=True)


def run(*args):
    p = subprocess.run([cli, *args], capture_output=True, text=True, env=env)
    if p.returncode != 0:
        sys.exit(f"kelvray-cli {' '.join(args)}: {p.returncode} {p.stderr}")
    return p.stdout


DAYS = ["Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"]
today = datetime.date.today()


def random_task(i):
    start = today + datetime.timedelta(days=rng.randint(1, 60))
    args = ["--description", f"Task {i}", "--date", start.isoformat(),
            "--time", f"{rng.randint(0, 23):02d}:{rng.choice([0, 15, 30, 45]):02d}"]
    kind = rng.choice(["once", "week", "nth", "monthend", "monthly", "twice", "yearly", "custom", "hours",
                       "minutes"])
    if kind == "once":
        args += ["--type", "Once"]
    elif kind == "week":
        days = rng.sample(DAYS, rng.randint(1, 4))
        if rng.random() < 0.7:  # mostly on one of its days; sometimes not, which lists dates
            start = start + datetime.timedelta(days=(DAYS.index(days[0]) - (start.isoweekday() % 7)) % 7)
            args[3] = start.isoformat()
        args += ["--type", "Day of Week", "--weekdays", ",".join(days)]
    elif kind == "nth":
        days = rng.sample(DAYS, rng.randint(1, 2))
        ords = rng.sample(["1st", "2nd", "3rd", "4th", "last"], rng.randint(1, 2))
        args += ["--type", "Day of Month", "--weekdays", ",".join(days), "--ordinals", ",".join(ords)]
    elif kind == "monthend":
        args += ["--type", "Day of Month", "--month-end"]
    elif kind == "monthly":
        args += ["--type", "Monthly", "--repeat", "Once"]
    elif kind == "twice":
        args += ["--type", "Monthly", "--repeat", rng.choice(["Twice - 1st, 15th", "Twice - 15th, Last"]),
                 "--offset", str(rng.choice([0, 0, rng.randint(-30, 30)]))]
    elif kind == "yearly":
        args += ["--type", "Yearly"]
    elif kind == "custom":
        args += ["--type", "Custom", "--every", str(rng.randint(1, 5)),
                 "--unit", rng.choice(["day(s)", "week(s)", "month(s)", "year(s)"])]
    elif kind == "hours":
        args += ["--type", "Custom", "--every", str(rng.choice([rng.randint(8, 30), 24, 48])), "--unit", "hour(s)"]
    else:
        args += ["--type", "Custom", "--every", str(rng.choice([rng.randint(240, 2000), 1440, 120, 2880])),
                 "--unit", "minute(s)"]
    if kind != "once" and rng.random() < 0.3:  # whole weekdays passed over
        args += ["--except", rng.choice(["weekends", "weekdays"]), "--shift", "Skip (to Next Valid Day)"]
    flags = [f for f in ("skip-next", "disabled") if rng.random() < 0.1]
    if flags:
        args += ["--flags", ",".join(flags)]
    return run("add", "--data-dir", data, *args).strip()


ids = [random_task(i) for i in range(50)]
now = datetime.datetime.now().replace(microsecond=0)
horizon = today + datetime.timedelta(days=365)
calendar = icalendar.Calendar.from_ical(run("export-ics", "--data-dir", data, "--days", "365"))


def naive(v):
    if isinstance(v, datetime.datetime):
        return v.replace(tzinfo=None)
    return datetime.datetime.combine(v, datetime.time())


events = {}
for ev in calendar.walk("VEVENT"):
    uid = str(ev["UID"])
    start = naive(ev["DTSTART"].dt)
    moments = {start}
    if "RRULE" in ev:
        rule = rrule.rrulestr(ev["RRULE"].to_ical().decode(), dtstart=start)
        moments |= set(rule.between(start, datetime.datetime.combine(horizon, datetime.time(23, 59, 59)), inc=True))
    rdates = ev.get("RDATE", [])
    for r in rdates if isinstance(rdates, list) else [rdates]:
        moments |= {naive(d.dt) for d in r.dts}
    exdates = ev.get("EXDATE", [])
    for r in exdates if isinstance(exdates, list) else [exdates]:
        moments -= {naive(d.dt) for d in r.dts}
    number = re.match(r"^task-([0-9]+)-[0-9a-f]+@kelvray$", uid)
    if not number:
        sys.exit(f"not a UID of the program's: {uid}")
    events[number.group(1)] = {m for m in moments if now < m and m.date() <= horizon}

failures = 0
rules = 0
for task in ids:
    shown = run("show", "--data-dir", data, "--json", task)
    expected = set()
    if '"disabled": true' not in shown:
        for line in run("next", "--data-dir", data, "--task", task, "--count", "20000").splitlines():
            parts = line.split(" ")
            if line == "completed" or (len(parts) > 2 and parts[2] == "skipped"):
                continue
            m = datetime.datetime.fromisoformat(parts[0] + "T" + parts[1])
            if now < m and m.date() <= horizon:
                expected.add(m)
    got = events.get(task, set())
    if got != expected:
        failures += 1
        print(f"task {task}: {shown}\n  only in the calendar: {sorted(got - expected)[:5]}\n"
              f"  only in next: {sorted(expected - got)[:5]}")
for ev in calendar.walk("VEVENT"):
    rules += "RRULE" in ev
print(f"{len(ids)} tasks, {len(events)} events, {rules} with a rule, {failures} different")
sys.exit(1 if failures or rules < 10 else 0)
