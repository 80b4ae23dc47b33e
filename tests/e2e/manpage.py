"""The manual page of a program: it renders without groff warnings, has the
usual sections, and names every option the program's help prints."""
import re
import shutil
import subprocess


def check_page(test, page, program, headings=("NAME", "SYNOPSIS", "OPTIONS", "EXIT STATUS", "EXAMPLES", "SEE ALSO")):
    if not shutil.which("groff"):
        test.skipTest("groff is not installed")
    p = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z", page], capture_output=True, text=True)
    test.assertEqual((p.returncode, p.stderr), (0, ""))
    text = subprocess.run(["groff", "-man", "-Tascii", "-P-cbou", page], capture_output=True, text=True).stdout
    for heading in headings:
        test.assertRegex(text, rf"(?m)^{heading}$")
    help_text = subprocess.run([program, "-h"], capture_output=True, text=True).stdout
    options = re.findall(r"^\s+(--?[\w-]+)", help_text, flags=re.MULTILINE)
    test.assertTrue(options, help_text)
    for option in options:
        test.assertIn(option, text, option)
