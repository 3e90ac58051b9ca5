#!/usr/bin/env python3
"""The guide's checks: which quotes pass, which pictures are missing or left over."""
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import guide  # noqa: E402

SOURCE = r'''
// "Закомментировано" is no text
inline constexpr const char* a = "не подключен";
inline constexpr const char* b =
    "Первая строка.\n"
    "Вторая строка.";  /* "и это не текст" */
constexpr char quote = '"';
inline constexpr const char* c = "Файл \"x\"\n\rПродолжить?";
'''


class Literals(unittest.TestCase):
    def test_adjacent_literals_join_and_comments_and_chars_are_skipped(self):
        self.assertEqual(guide.string_literals(SOURCE),
                         ["не подключен", "Первая строка.\nВторая строка.", 'Файл "x"\n\rПродолжить?'])


class Quotes(unittest.TestCase):
    def setUp(self):
        with tempfile.NamedTemporaryFile("w", suffix=".h", encoding="utf-8", delete=False) as f:
            f.write(SOURCE)
        self.texts = guide.window_texts([f.name])
        Path(f.name).unlink()

    def faults(self, markdown):
        return guide.check_quotes(markdown, self.texts, "g.md")

    def test_matrix(self):
        cases = [
            ("«не подключен»", True),
            ("«не подключён»", False),           # one letter off
            ("«не подключен »", False),
            ("«Вторая строка.»", True),          # one line of a text of several
            ("«Первая строка.\nВторая»", True),   # no quote spans lines: nothing quoted
            ("«Продолжить?»", True),
            ("«Первая …»", True),                # a text that begins so
            ("«…строка.»", True),                # a text that ends so
            ("«Третья …»", False),
            ("«…»", False),                      # an ellipsis alone stands for nothing
            ("«Закомментировано»", False),       # in a comment, not a text
            ("`«не текст»`", True),              # inline code is not prose
            ("```\n«не текст»\n```", True),      # nor a fenced block
            ("    «не текст»", True),            # nor an indented one
        ]
        for markdown, ok in cases:
            with self.subTest(markdown=markdown):
                self.assertEqual(self.faults(markdown) == [], ok, self.faults(markdown))

    def test_a_fault_names_its_line(self):
        self.assertEqual(self.faults("первая\n\nтретья «нет такого»"),
                         ["g.md:3: «нет такого» is no text of the window"])


class Pictures(unittest.TestCase):
    def test_missing_and_unused_pictures_are_faults(self):
        with tempfile.TemporaryDirectory() as d:
            folder = Path(d)
            (folder / "page-0.png").write_bytes(b"")
            (folder / "page-9.png").write_bytes(b"")
            markdown = "![a](page-0.png)\n\n![b](page-1.png)\n"
            faults = guide.check_pictures(markdown, folder, "g.md")
            self.assertEqual(len(faults), 2, faults)
            self.assertIn("g.md:3: picture page-1.png is missing", faults[0])
            self.assertIn("page-9.png", faults[1])
            (folder / "page-1.png").write_bytes(b"")
            (folder / "page-9.png").unlink()
            self.assertEqual(guide.check_pictures(markdown, folder, "g.md"), [])


class Build(unittest.TestCase):
    def test_build_writes_the_page_and_copies_its_pictures_only_when_clean(self):
        with tempfile.TemporaryDirectory() as d:
            root = Path(d)
            (root / "texts.h").write_text('const char* t = "Считать";', encoding="utf-8")
            (root / "pics").mkdir()
            (root / "pics" / "page-0.png").write_bytes(b"\x89PNG")
            (root / "g.md").write_text("# Г\n\nКнопка «Считать».\n\n![«Считать»](page-0.png)\n", encoding="utf-8")
            args = ["build", str(root / "g.md"), "--texts", str(root / "texts.h"),
                    "--pictures", str(root / "pics"), "--out", str(root / "out" / "guide.html")]
            self.assertEqual(guide.main(args), 0)
            page = (root / "out" / "guide.html").read_text(encoding="utf-8")
            self.assertIn('<img alt="«Считать»" src="page-0.png"', page)
            self.assertIn('<html lang="ru">', page)
            self.assertEqual((root / "out" / "page-0.png").read_bytes(), b"\x89PNG")

            (root / "texts.h").write_text('const char* t = "Считать!";', encoding="utf-8")
            (root / "out" / "guide.html").unlink()
            self.assertEqual(guide.main(args), 1)
            self.assertFalse((root / "out" / "guide.html").exists())


if __name__ == "__main__":
    unittest.main()
