#!/usr/bin/env python3
"""Writes the sample school of examples/orve/: the eight ORVE files of an
export, fixed-width, Windows-1252, CR LF line ends, each with a header
record, a name record and a trailer record.

Run it again after changing the data below: python3 examples/make_orve_sample.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "orve")
CENTRE = "46012345"      # header code: the school's centre code, columns 52-59
STAMP = "010920260830"   # ddmmyyyyhhnn of the export from ORVE


def field(value, width):
    """Left-aligned value in a column of the given width."""
    assert len(value) <= width, (value, width)
    return value.ljust(width)


def at(columns):
    """Builds a line from (start column, width, value) triples; column 1 is
    the record type."""
    line = ""
    for start, width, value in columns:
        line = line.ljust(start - 1)
        assert len(line) == start - 1, (line, start)
        line += field(value, width)
    return line.rstrip()


def write(name, records, name_text=None):
    name_text = name_text or name.upper()
    header = "0" + field(name.upper(), 50) + CENTRE + STAMP
    name_record = " " + field(name_text, 50)
    trailer = "9" + field(name.upper(), 50) + CENTRE + STAMP + str(len(records))
    lines = [header, name_record] + ["1" + r[1:] for r in records] + [trailer]
    with open(os.path.join(OUT, name), "wb") as f:
        f.write("".join(l + "\r\n" for l in lines).encode("cp1252"))


# Subjects: (ORVE subject code, name, language code). A subject taught in a
# language carries the language code at columns 12-17 of its code as well.
def subject_code(code, lang=""):
    return (code.ljust(11) + lang).rstrip()


SUBJECTS = [
    ("LCL", "Lengua Castellana y Literatura", ""),
    ("VAL", "Valenciano: Lengua y Literatura", ""),
    ("MAT", "Matemáticas", ""),
    ("MATAC", "Matemáticas Académicas", ""),
    ("GEH", "Geografía e Historia", ""),
    ("BIG", "Biología y Geología", ""),
    ("BIG", "Biología y Geología", "VAL"),
    ("FYQ", "Física y Química", ""),
    ("EF", "Educación Física", ""),
    ("MUS", "Música", ""),
    ("EPVA", "Educación Plástica, Visual y Audiovisual", ""),
    ("TEC", "Tecnología", ""),
    ("LE", "Primera Lengua Extranjera: Inglés", "ING"),
    ("LE", "Segunda Lengua Extranjera: Francés", "FRA"),
    ("RE", "Religión", ""),
    ("ATE", "Atención Educativa", ""),
    ("TUT", "Tutoría", ""),
    ("FIL", "Filosofía", ""),
    ("HES", "Historia de España", ""),
    ("MATCCSS", "Matemáticas Aplicadas a las Ciencias Sociales", ""),
    ("MATCCSS", "Matemáticas Aplicadas a las Ciencias Sociales", "VAL"),
]

ACTIVITIES = [
    ("GUAR", "Guardia de pasillo", "GUA"),
    ("GBIB", "Guardia de biblioteca", "GUA"),
    ("REDP", "Reunión de departamento", "REU"),
    ("CCP", "Comisión de Coordinación Pedagógica", "REU"),
    ("ATPA", "Atención a padres y madres", "ATP"),
]

TEACHERS = [
    ("PGM", "Pérez Gómez, María José", "Lengua Castellana y Literatura"),
    ("LRA", "López Ruiz, Antonio", "Matemáticas"),
    ("SMC", "Sánchez Martí, Carmen", "Valenciano"),
    ("FNJ", "Fernández Navarro, Jesús", "Geografía e Historia"),
    ("GBE", "García Bañón, Elena", "Biología y Geología"),
    ("MCI", "Martínez Cañete, Iñaki", "Física y Química"),
    ("RVL", "Romero Vidal, Lucía", "Educación Física"),
    ("TAP", "Torres Alcañiz, Pilar", "Música"),
    ("JOS", "Jiménez Ortega, Sergio", "Dibujo"),
    ("NBR", "Navarro Belda, Raúl", "Tecnología"),
    ("CWH", "Clarke Williams, Helen", "Inglés"),
    ("DMF", "Dubois Martín, François", "Francés"),
    ("AGM", "Alonso Guillén, Mónica", "Religión"),
    ("VPN", "Vicent Peiró, Núria", "Filosofía"),
    ("ESJ", "Escrivà Soler, Josep", "Matemáticas"),
]

ROOMS = [
    ("A101", "Aula 101", "Planta baja, edificio principal"),
    ("A102", "Aula 102", "Planta baja, edificio principal"),
    ("A201", "Aula 201", "Primera planta, edificio principal"),
    ("A202", "Aula 202", "Primera planta, edificio principal"),
    ("A203", "Aula 203", "Primera planta, edificio principal"),
    ("LABCN", "Laboratorio de Ciencias Naturales", "Edificio B"),
    ("LABFQ", "Laboratorio de Física y Química", "Edificio B"),
    ("INF1", "Aula de Informática 1", "Edificio B"),
    ("MUSICA", "Aula de Música", ""),
    ("PLAST", "Aula de Plástica", "Edificio B"),
    ("GIM", "Gimnasio", "Pabellón polideportivo"),
    ("BIBLIO", "Biblioteca", "Planta baja, edificio principal"),
]

# Groups: (code, level, course, label, shift)
GROUPS = [
    ("1ESOA", "ESO", "1", "1º ESO A", "M"),
    ("1ESOB", "ESO", "1", "1º ESO B", "M"),
    ("2ESOA", "ESO", "2", "2º ESO A", "M"),
    ("3ESOA", "ESO", "3", "3º ESO A", "M"),
    ("4ESOA", "ESO", "4", "4º ESO A", "M"),
    ("1BACHA", "BAC", "1", "1º BACH A", "M"),
    ("2BACHA", "BAC", "2", "2º BACH A", "M"),
]

# What each course takes: (subject, language, weekly hours as ORVE writes them)
ESO_LOWER = [("LCL", "", "4"), ("VAL", "", "3"), ("MAT", "", "4"), ("GEH", "", "3"),
             ("BIG", "VAL", "3"), ("EF", "", "2"), ("MUS", "", "2"), ("EPVA", "", "2"),
             ("TEC", "", "2,5"), ("LE", "ING", "3"), ("RE", "", "1"), ("ATE", "", "1"),
             ("TUT", "", "1")]
ESO_UPPER = [("LCL", "", "3"), ("VAL", "", "3"), ("MATAC", "", "4"), ("GEH", "", "3"),
             ("BIG", "", "3"), ("FYQ", "", "3"), ("EF", "", "2"), ("TEC", "", "2"),
             ("LE", "ING", "4"), ("LE", "FRA", "2"), ("RE", "", "1"), ("TUT", "", "1")]
BACH = [("LCL", "", "3"), ("VAL", "", "2"), ("MATCCSS", "VAL", "4"), ("FIL", "", "3"),
        ("LE", "ING", "3"), ("EF", "", "2"), ("HES", "", "3"), ("TUT", "", "1")]
PLAN = {("ESO", "1"): ESO_LOWER, ("ESO", "2"): ESO_LOWER,
        ("ESO", "3"): ESO_UPPER, ("ESO", "4"): ESO_UPPER,
        ("BAC", "1"): BACH, ("BAC", "2"): BACH[:2] + [("MATCCSS", "", "4")] + BACH[3:]}

DAYS = "LMXJV"
SLOTS = [("0800", "0855"), ("0855", "0950"), ("0950", "1045"),
         ("1115", "1210"), ("1210", "1305"), ("1305", "1400")]


def main():
    os.makedirs(OUT, exist_ok=True)
    write("orve_asignat.txt", [
        at([(1, 1, "1"), (2, 20, subject_code(c, l)), (22, 150, n), (172, 6, l)])
        for c, n, l in SUBJECTS])
    write("ORVE_ACTIVIDADES.TXT", [
        at([(1, 1, "1"), (2, 4, c), (6, 60, n), (66, 3, t)]) for c, n, t in ACTIVITIES])
    write("orve_prof.txt", [
        at([(1, 1, "1"), (2, 4, c), (6, 90, n), (96, 50, d)]) for c, n, d in TEACHERS])
    write("orve_aulas.txt", [
        at([(1, 1, "1"), (2, 10, c), (12, 70, a), (82, 100, b)]) for c, a, b in ROOMS])
    # The groups file's name record says ORVE_GRUPOS.TXT.
    write("orve_grupo.txt", [
        at([(1, 1, "1"), (2, 10, c), (15, 3, lv), (21, 3, cu), (24, 9, lb), (33, 3, sh)])
        for c, lv, cu, lb, sh in GROUPS], name_text="ORVE_GRUPOS.TXT")
    assignments = []
    for code, level, course, _, _ in GROUPS:
        for subject, lang, _ in PLAN[(level, course)]:
            assignments.append(at([(1, 1, "1"), (2, 10, code), (12, 20, subject_code(subject, lang))]))
    write("orve_asignatgrupo.txt", assignments)
    hours = []
    for (level, course), subjects in sorted(PLAN.items()):
        for subject, lang, h in subjects:
            hours.append(at([(1, 1, "1"), (2, 3, level), (5, 3, "M"), (8, 3, course),
                             (11, 13, "PL09"), (24, 20, subject_code(subject, lang)),
                             (44, 6, h), (50, 6, lang)]))
    write("orve_asignatcurso.txt", hours)
    slots = []
    for d, day in enumerate(DAYS):
        for s, (start, end) in enumerate(SLOTS):
            code = "%d%02d" % (d + 1, s + 1)
            slots.append(at([(1, 1, "1"), (2, 3, "PL9"), (5, 4, code), (9, 1, day),
                             (10, 4, start), (14, 4, end)]))
    write("orve_sesiones.txt", slots)


if __name__ == "__main__":
    main()
