#!/usr/bin/env python3
"""Checks the spelling of the core's own names (every .h/.cpp under src/
except src/ui/, which follows Qt's spelling).

Functions, methods, members, variables and parameters are lower case with
the words run together (acceptall, badline_); types are UpperCamelCase and
constants and enumerators kUpperCamelCase.  So an identifier of the code --
comments, string and character literals and include lines left out -- that
starts with a lower-case letter and holds an upper-case one is wrong, unless
it is

- one of the two start-up checks the program's documentation spells this
  way (isContactTableOK, isPNANTAliasOK),
- a window's control or event procedure named as in the windows (btAllClick,
  rbAcceptXClick, lblSource), or
- a library's name (utf8proc_NFC and the like).

Prints each offending name with where it is and exits 1 when there is one."""
import pathlib
import re
import sys

ALLOWED = {"isContactTableOK", "isPNANTAliasOK"}
FORM_NAME = re.compile(r"^(bt|rb|lbl)[A-Z0-9]")
LIBRARY_PREFIXES = ("utf8proc_", "sqlite3_", "iconv")

CAMEL = re.compile(r"^[a-z][a-z0-9_]*[A-Z][A-Za-z0-9_]*$")
IDENT = re.compile(r"[A-Za-z_][A-Za-z0-9_]*")
SKIPPED = re.compile(
    r"""//[^\n]*                                  # line comment
      | /\*.*?(?:\*/|\Z)                          # block comment
      | (?<![A-Za-z0-9_])(?:u8|u|U|L)?R"(?P<d>[^()\\\s]{0,16})\(.*?\)(?P=d)"  # raw string
      | (?<![A-Za-z0-9_])(?:u8|u|U|L)?"(?:\\.|[^"\\\n])*"   # string
      | (?<![A-Za-z0-9_])(?:u8|u|U|L)?'(?:\\.|[^'\\\n])*'   # character
      | (?<![A-Za-z0-9_])\.?[0-9](?:[A-Za-z0-9_.']|(?<=[eEpP])[+-])*  # number, 1'000 and 0xFFu too
      | ^[ \t]*\#[ \t]*include[^\n]*              # include line
    """,
    re.VERBOSE | re.DOTALL | re.MULTILINE)


def blank(m):
    """The skipped text as spaces, its line breaks kept so lines still count."""
    return re.sub(r"[^\n]", " ", m.group(0))


def offending(name):
    return (CAMEL.match(name) is not None and not re.match(r"^k[A-Z0-9]", name)
            and name not in ALLOWED and not FORM_NAME.match(name)
            and not name.startswith(LIBRARY_PREFIXES))


def check(path):
    code = SKIPPED.sub(blank, path.read_text(errors="replace"))
    for m in IDENT.finditer(code):
        if offending(m.group(0)):
            yield code.count("\n", 0, m.start()) + 1, m.group(0)


def main(src):
    src = pathlib.Path(src)
    bad = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp") or path.relative_to(src).parts[0] == "ui":
            continue
        bad += [f"{path}:{line}: {name}" for line, name in check(path)]
    for b in bad:
        print(b)
    if bad:
        print(f"{len(bad)} lowerCamelCase names of ours in the core: spell them lower case, "
              "words run together")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "src"))
