#!/usr/bin/env python3
"""Writes examples/tempario/SOLUC.DBF: a timetable solution for the sample
school of examples/orve/, as Tempario would leave it in its work folder, for
the import run to turn into ORVE_HORARIO.TXT.

The codes are those that an export of the sample gives the Tempario tables:
days 1 to 5 and periods 1 to 6 (DIASHORAST), group codes (GRUPOST), subject
and activity codes (ASIGNOMT's COD), room codes (AULAT) and teacher codes.
Two groups have their week's lessons, two teachers a guard duty each, and
one meeting is not placed yet (day 0) and yields no line.

Needs python3-dbf (Debian package python3-dbf). Run it again after changing
the data below: python3 examples/make_soluc.py
"""
import os

import dbf

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "tempario", "SOLUC.DBF")

# Subject code in ASIGNOMT -> (teacher, room when not the group's own)
SUBJECTS = {
    "LCL": ("PGM", None), "VAL": ("SMC", None), "MAT": ("LRA", None),
    "GEH": ("FNJ", None), "BIGVAL": ("GBE", "LABCN"), "EF": ("RVL", "GIM"),
    "MUS": ("TAP", "MUSICA"), "EPVA": ("JOS", "PLAST"), "TEC": ("NBR", "INF1"),
    "LEING": ("CWH", None), "RE": ("AGM", None), "ATE": ("VPN", "BIBLIO"),
    "MATCCSS": ("LRA", None), "FIL": ("VPN", None), "HES": ("FNJ", None),
}

# Group -> (own room, tutor, one line per day from Monday to Friday with the
# subjects of periods 1 to 6; "-" is a free period, "RE/ATE" two lessons at
# once, TUT the tutor's hour).
GROUPS = [
    ("1ESOA", "A101", "PGM", [
        "LCL BIGVAL LEING MAT GEH VAL",
        "MAT LCL EF VAL BIGVAL TEC",
        "GEH MUS LCL EPVA LEING MAT",
        "VAL EF MAT TEC MUS LCL",
        "LEING GEH BIGVAL EPVA TUT RE/ATE",
    ]),
    ("2BACHA", "A203", "VPN", [
        "MATCCSS FIL LCL LEING - -",
        "HES MATCCSS LEING LCL - -",
        "FIL HES VAL MATCCSS EF -",
        "LCL MATCCSS HES FIL - -",
        "EF LEING VAL TUT - -",
    ]),
]

# (day, period, teacher, activity code in ASIGNOMT, room)
DUTIES = [
    (3, 5, "LRA", "*GUAR", ""),
    (1, 2, "TAP", "*GBIB", "BIBLIO"),
    (0, 0, "FNJ", "*REDP", ""),  # not placed
]

FIELDS = ("DIA N(2,0); HORA N(2,0); MARCO C(1); PROF C(10); CODGRUPO C(10); "
          "TAREA C(10); ASIG C(10); AULA C(10)")


def records():
    for group, room, tutor, days in GROUPS:
        for day, line in enumerate(days, start=1):
            for period, slot in enumerate(line.split(), start=1):
                if slot == "-":
                    continue
                for subject in slot.split("/"):
                    if subject == "TUT":
                        teacher, own_room = tutor, None
                    else:
                        teacher, own_room = SUBJECTS[subject]
                    yield (day, period, "0", teacher, group, "", subject, own_room or room)
    for day, period, teacher, activity, room in DUTIES:
        yield (day, period, "0", teacher, "", activity, activity, room)


def main():
    os.makedirs(os.path.dirname(OUT), exist_ok=True)
    if os.path.exists(OUT):
        os.remove(OUT)
    table = dbf.Table(OUT, FIELDS, dbf_type="db3", codepage="cp1252")
    table.open(dbf.READ_WRITE)
    for record in records():
        table.append(record)
    table.close()


if __name__ == "__main__":
    main()
