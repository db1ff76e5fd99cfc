#!/usr/bin/env python3
"""The manual page keeps step with --help: it names every command and every option that --help
names, and no other. Usage: manpage_test.py ONEFILE_PACK PAGE (the page's source, roff)."""
import re
import subprocess
import sys
import unittest

OPTION = re.compile(r"(?<![\w-])(--[a-z][a-z-]*|-[a-z])\b")
COMMAND = re.compile(r"^onefile-pack ([a-z]+)\b", re.MULTILINE)


def plain_text(roff):
    """The words of a roff page without its escapes: \\- is a dash, \\fB and the like change fonts."""
    text = roff.replace("\\-", "-")
    text = re.sub(r"\\f[BIRP]", "", text)
    return re.sub(r"^\.[A-Z]+ ?", "", text, flags=re.MULTILINE)


class ManualPage(unittest.TestCase):
    def setUp(self):
        self.help = subprocess.run([PACKER, "--help"], capture_output=True, text=True, check=True).stdout
        with open(PAGE, encoding="utf-8") as page:
            self.page = plain_text(page.read())

    def test_names_the_options_of_help(self):
        self.assertEqual(set(OPTION.findall(self.page)), set(OPTION.findall(self.help)))

    def test_names_the_commands_of_help(self):
        help_commands = set(COMMAND.findall("\n".join(line.strip() for line in self.help.splitlines())))
        self.assertEqual(set(COMMAND.findall(self.page)), help_commands)
        for command in help_commands:
            self.assertRegex(self.page, rf"(?m)^{command}$", f"the page describes no command {command}")


if __name__ == "__main__":
    PACKER, PAGE = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1])
